#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

// The kit's boxed look for an input: padding, a rounded border and a fill behind it. The border
// takes the "iconColor" colour while the input has focus and pulses from 2.5 to 1.0 points over
// half a second when the focus arrives; unfocused it is 0.5 points in the secondary colour.
// A click anywhere on the box focuses the input. Serves the text field, the text editor and the
// login's password entry.
class TextFieldModifier : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal lineWidth READ lineWidth WRITE setLineWidth)

public:
    static constexpr qreal unfocusedLineWidth = 0.5;
    static constexpr qreal pulseStartLineWidth = 2.5;
    static constexpr qreal focusedLineWidth = 1.0;

    // `content` is placed inside the box; `focusTarget` (the content when null) is the widget whose
    // focus the box follows. The content gets `font` and `textColor`.
    TextFieldModifier(QWidget* content, const QFont& font, const QColor& textColor, const QColor& bgColor,
                      QWidget* focusTarget = nullptr, QWidget* parent = nullptr);
    ~TextFieldModifier() override;

    QWidget* content() const { return m_content; }
    QWidget* focusTarget() const { return m_focusTarget; }
    bool isFocused() const { return m_isFocused; }
    qreal lineWidth() const { return m_lineWidth; }
    QColor borderColor() const;

    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);
    QColor bgColor() const { return m_bgColor; }
    void setBgColor(const QColor& color);
    // The border colour while focused; the "iconColor" preference unless set.
    void setFocusedBorderColor(const QColor& color);
    // Padding around the content: top 4, leading 10, bottom 4, trailing 5 unless set.
    void setPadding(const QMargins& padding);

    // Takes the focus away from the input when set to true; false does nothing.
    void setResetFocus(bool resetFocus);

    // Test hook: the length of the focus pulse.
    void setPulseDuration(int ms) { m_pulse.setDuration(ms); }

Q_SIGNALS:
    void focusChanged(bool focused);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setLineWidth(qreal width);
    void applyContentColors();
    void onApplicationFocusChanged(QWidget* now);

    QWidget* m_content;
    QPointer<QWidget> m_focusTarget;
    QColor m_textColor;
    QColor m_bgColor;
    QColor m_focusedBorderColor;
    bool m_isFocused = false;
    qreal m_lineWidth = unfocusedLineWidth;
    QPropertyAnimation m_pulse;
};
