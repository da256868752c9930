#pragma once

#include <QImage>
#include <QWidget>

// The name of the application above the login field, in the accent colour with two soft shadows.
class LoginTitleView : public QWidget
{
    Q_OBJECT

public:
    explicit LoginTitleView(const QString& text, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QImage shadowImage(qreal devicePixelRatio) const;

    QString m_text;
    mutable QImage m_shadow;
};
