#pragma once

#include <QColor>
#include <QPropertyAnimation>
#include <QWidget>

class SecureInputView;

// The rounded box around the login's password field: its fill, and an outline in the accent colour
// while the field has focus. Gaining focus draws the outline thick and lets it settle; losing focus
// makes it a hairline at once. A click anywhere in the box focuses the field.
class PasswordFieldFrame : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal lineWidth READ lineWidth WRITE setLineWidth)
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)

public:
    static constexpr QSize frameSize{300, 50};
    static constexpr int fieldHeight = 30;
    static constexpr int horizontalPadding = 10;
    static constexpr int verticalPadding = 4;
    static constexpr qreal unfocusedLineWidth = 0.5;
    static constexpr qreal focusedLineWidth = 1.0;
    static constexpr qreal focusGainLineWidth = 2.5;

    // Takes ownership of field.
    explicit PasswordFieldFrame(SecureInputView* field, QWidget* parent = nullptr);

    SecureInputView* field() const { return m_field; }
    bool isFocused() const { return m_focused; }

    qreal lineWidth() const { return m_lineWidth; }
    void setLineWidth(qreal width);
    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor& color);

    // The rounded box, in this widget's coordinates.
    QRectF boxRect() const;

    QSize sizeHint() const override { return frameSize; }
    QSize minimumSizeHint() const override { return frameSize; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setFocused(bool focused);

    SecureInputView* m_field;
    bool m_focused = false;
    qreal m_lineWidth = unfocusedLineWidth;
    QColor m_fillColor;
    QPropertyAnimation m_lineAnimation;
};
