#pragma once

#include "kit/controls/PressableView.h"

#include <QColor>
#include <QString>

#include <memory>

class QSvgRenderer;

// A flat button of the bottom bar: an optional image and one line of plain text, with a faint rounded
// background while hovered. Its appearance (0 to 1) fades it in and scales it from 0.8 about its centre.
class AccessoryBarButton : public PressableView
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
    // Screen readers take it for a link (an address it opens) instead of a button. Its name is the
    // accessible name, else its text.
    bool isLink() const { return m_isLink; }
    void setIsLink(bool isLink) { m_isLink = isLink; }

    QSize sizeHint() const override;

protected:
    // Faded out, it takes no press.
    bool isPressable() const override { return m_appearance > 0; }
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    std::unique_ptr<QSvgRenderer> m_image;
    QColor m_textColor;
    qreal m_appearance = 1.0;
    bool m_isLink = false;
};
