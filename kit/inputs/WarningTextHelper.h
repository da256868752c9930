#pragma once

#include "kit/theme/Binding.h"

#include <QColor>
#include <QPropertyAnimation>
#include <QTimer>
#include <QWidget>

#include <optional>

// A full-width band that shows a message while the bound text holds one and clears it by itself five
// seconds after the latest message arrived. The band moves in from the bottom and fades out. The
// message is shown whole: it wraps over as many lines as it needs (height for width) and never
// widens its host. The owner sets messages with setWarningText(), or writes the binding and calls
// refresh().
class WarningTextHelper : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal opacity READ opacity WRITE setOpacity)
    Q_PROPERTY(qreal slide READ slide WRITE setSlide)

public:
    static constexpr int clearDelayMs = 5000;
    static constexpr int transitionMs = 500;

    WarningTextHelper(Binding<std::optional<QString>> warningText, const QColor& txtColor, QWidget* parent = nullptr);

    // Writes the binding and shows the change; every message starts the five seconds afresh.
    void setWarningText(const std::optional<QString>& text);
    // Re-reads the binding after the owner changed it; a different message starts the five seconds afresh.
    void refresh();

    std::optional<QString> shownText() const { return m_shown; }
    bool isBandShown() const { return m_shown.has_value(); }
    // True while the band takes space: shown, or still fading out.
    bool isBandVisible() const { return m_present; }
    QColor txtColor() const { return m_txtColor; }

    // The lines of the message as drawn at a width (at the current width when none is given).
    QStringList lines(int width = -1) const;

    // The height the band takes at a width with the current message, or with one line when none
    // shows: what a host reserves so that a band never covers its content.
    int reservedHeight(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    // Test hook.
    void setClearDelay(int ms) { m_clearTimer.setInterval(ms); }
    int clearDelay() const { return m_clearTimer.interval(); }
    int clearRemainingTime() const { return m_clearTimer.remainingTime(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int bandHeight(int width) const;
    void apply(const std::optional<QString>& text, bool restart);
    void clear();
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);
    qreal slide() const { return m_slide; }
    void setSlide(qreal slide);

    Binding<std::optional<QString>> m_warningText;
    QColor m_txtColor;
    std::optional<QString> m_shown;
    QString m_painted;
    QTimer m_clearTimer;
    bool m_present = false;
    qreal m_opacity = 1;
    qreal m_slide = 0;
    QPropertyAnimation m_fade;
    QPropertyAnimation m_move;
};
