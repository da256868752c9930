#pragma once

#include "kit/controls/PressableView.h"

#include <QColor>

#include <functional>
#include <optional>

// A round check symbol with an optional grey label; a click on either flips the value. After each flip
// further clicks are ignored for the lock interval (0.5 s), so a double click cannot undo its first click.
// It is reached with Tab, marked while focused, and Space flips it as a click does.
class CheckBoxHelper : public PressableView
{
    Q_OBJECT
    Q_PROPERTY(bool selection READ selection WRITE setSelection NOTIFY selectionChanged)

public:
    using Clock = std::function<qint64()>;

    CheckBoxHelper(const QString& title, qreal size, bool selection, std::optional<QColor> imgColor,
                   QWidget* parent = nullptr);

    bool selection() const { return m_selection; }
    // The owner's write: redraws, never locks.
    void setSelection(bool selection);

    QString title() const { return m_title; }
    qreal symbolSize() const { return m_size; }
    // The tint of the symbol: imgColor, else the "iconColor" preference read at creation.
    QColor symbolColor() const;
    QString symbolName() const;
    bool isToggleEnabled() const;

    // Test hooks: the lock interval in milliseconds and the monotonic clock it is measured with.
    void setLockInterval(int milliseconds) { m_lockInterval = milliseconds; }
    void setClock(Clock clock);

    QSize sizeHint() const override;

public Q_SLOTS:
    // A click: flips and locks, unless locked.
    void toggle();

Q_SIGNALS:
    // Every change of the value, by a click or by the owner.
    void selectionChanged(bool selection);
    // A click flipped the value.
    void toggled(bool selection);

protected:
    void run() override { toggle(); }
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    qreal m_size;
    bool m_selection;
    std::optional<QColor> m_imgColor;
    QString m_iconColorHex;
    QFont m_font;
    int m_lockInterval = 500;
    Clock m_clock;
    std::optional<qint64> m_lockedUntil;
};
