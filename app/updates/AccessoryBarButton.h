#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <memory>

class QSvgRenderer;

// A flat button of the bottom bar: an optional image and one line of plain text, with a faint rounded
// background while hovered. Its appearance (0 to 1) fades it in and scales it from 0.8 about its centre.
class AccessoryBarButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(qreal appearance READ appearance WRITE setAppearance)

public:
    static constexpr int barHeight = 20;
    static constexpr int imageSize = 16;

    explicit AccessoryBarButton(QWidget* parent = nullptr);
    ~AccessoryBarButton() override;

    QString text() const { return m_text; }
    void setText(const QString& text);
    // An SVG resource drawn before the text at imageSize; empty for none.
    void setImage(const QString& resourcePath);
    bool hasImage() const;
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);
    qreal appearance() const { return m_appearance; }
    void setAppearance(qreal appearance);
    bool isHovered() const { return m_hovered; }
    // Screen readers take it for a link (an address it opens) instead of a button. Its name is the
    // accessible name, else its text.
    bool isLink() const { return m_isLink; }
    void setIsLink(bool isLink) { m_isLink = isLink; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool acceptsInput() const { return isEnabled() && m_appearance > 0; }

    QString m_text;
    std::unique_ptr<QSvgRenderer> m_image;
    QColor m_textColor;
    qreal m_appearance = 1.0;
    bool m_hovered = false;
    bool m_pressed = false;
    bool m_isLink = false;
};
