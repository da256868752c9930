#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

// Presents a card (an alert or a sheet) inside the window of its host: an overlay over the whole window
// showing a blurred snapshot of it, with the card centred on top. Input to the rest of the window is
// blocked while it is the topmost overlay, so it is modal to that window and needs no window manager.
// It closes when dismissed, when its host is hidden or destroyed, or with dismissAll() (logout).
// The card keeps the focus its content takes when it appears (else the card itself takes it), Tab
// cycles through the card's controls only, and the card is placed afresh whenever its size hints
// change (a message that wraps over more lines grows it).
class SheetOverlay : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of card. host is the widget the card belongs to; its window holds the overlay.
    static SheetOverlay* present(QWidget* host, QWidget* card);
    // The overlay a widget is shown in, or nullptr.
    static SheetOverlay* enclosing(const QWidget* widget);
    // The open overlays of a window, bottom first.
    static QList<SheetOverlay*> overlays(const QWidget* window);
    static void dismissAll(const QWidget* window);
    // The size a card takes with room for it: its size hint (at least its minimum size hint), narrowed
    // to the room, within the card's own minimum and maximum sizes; the height follows the width.
    static QSize cardSize(const QWidget* card, const QSize& room = QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    ~SheetOverlay() override;

    QWidget* card() const { return m_card; }
    QWidget* host() const { return m_host; }
    bool isDismissed() const { return m_dismissed; }
    bool isTopmost() const;

public Q_SLOTS:
    // Hides the overlay, emits dismissed() and deletes it later. Runs once.
    void dismiss();

Q_SIGNALS:
    // The overlay closed, by any path while its host lives.
    void dismissed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    SheetOverlay(QWidget* host, QWidget* card);
    void placeCard();
    bool blocks(QObject* receiver) const;

    QPointer<QWidget> m_host;
    QWidget* m_card = nullptr;
    QImage m_backdrop;
    QPointer<QWidget> m_previousFocus;
    bool m_dismissed = false;
};
