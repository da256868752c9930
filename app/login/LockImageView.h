#pragma once

#include <QColor>
#include <QSvgRenderer>
#include <QWidget>

// The padlock of the login screen on a filled circle; the circle turns red after a wrong entry.
class LockImageView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)

public:
    static constexpr int imageSide = 90;
    static constexpr int padding = 10;

    explicit LockImageView(QWidget* parent = nullptr);

    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor& color);
    bool hasImage() const { return m_image.isValid(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer m_image;
    QColor m_fillColor;
};
