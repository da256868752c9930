#pragma once

#include "kit/dialogs/AlertCustomType.h"

#include <QColor>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QBoxLayout;
class QCheckBox;
class QLabel;
class TrendyButtonHelper;

// The alert card: a 320-pixel card with a tinted header (symbol and title of the kind), the caller's
// message view, an optional toggle and warning line, and its buttons (side by side up to two, stacked
// from three). A click, or Return on the default button, closes the card and then runs the button;
// Escape does what the cancel button does. Tab moves through the buttons (and the toggle).
class AlertCommon : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool toggle READ toggle WRITE setToggle NOTIFY toggleChanged)

public:
    // A button with its routing already bound to the card's item.
    struct Button
    {
        QUuid id;
        QString title;
        QColor bgColor;
        bool isDefault = false;
        std::function<void()> tap;
    };

    static constexpr int alertWidth = 320;
    static constexpr int alertPadding = 24;
    static constexpr int messageLineLimit = 15;

    AlertCommon(const QString& title, QWidget* content, QList<Button> buttons, AlertCustomType alertType,
                const std::optional<QString>& withWarningTXT, const std::optional<QString>& toggleText,
                QWidget* parent = nullptr);

    // A message view of plain text with **bold** spans, wrapped and cut at the line limit.
    static QWidget* messageText(const QString& text);

    bool toggle() const { return m_toggle; }
    void setToggle(bool toggle);
    AlertCustomType alertType() const { return m_alertType; }
    QWidget* content() const { return m_content; }
    QList<TrendyButtonHelper*> buttonViews() const { return m_buttonViews; }
    // Vertical from three buttons, else horizontal.
    Qt::Orientation buttonOrientation() const;
    QLabel* titleLabel() const { return m_titleLabel; }
    QCheckBox* toggleView() const { return m_toggleView; }
    QLabel* warningLabel() const { return m_warningLabel; }
    bool hasDivider() const { return m_hasDivider; }

    // What closes the card; by default the overlay it is shown in.
    void setDismissAction(std::function<void()> dismiss);

    // A click on the button at index: dismiss first, then its action.
    void buttonTapped(int index);
    // The button Escape presses: the only one, else the first that is not the default; -1 for none.
    int cancelButtonIndex() const;

Q_SIGNALS:
    void toggleChanged(bool toggle);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<Button> m_buttons;
    AlertCustomType m_alertType;
    QWidget* m_header = nullptr;
    QWidget* m_content = nullptr;
    QLabel* m_titleLabel = nullptr;
    QCheckBox* m_toggleView = nullptr;
    QLabel* m_warningLabel = nullptr;
    bool m_hasDivider = false;
    QList<TrendyButtonHelper*> m_buttonViews;
    bool m_toggle = false;
    std::function<void()> m_dismiss;
};
