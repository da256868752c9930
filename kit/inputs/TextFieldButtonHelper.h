#pragma once

#include <QAbstractButton>
#include <QColor>

#include <functional>
#include <optional>

// A borderless symbol button with an optional label after the symbol. The symbol is framed to
// `size` by `size` points; symbol and label sit centred in the button, whose whole rectangle takes
// clicks. It is reached with Tab, marked while focused, and Space presses it.
class TextFieldButtonHelper : public QAbstractButton
{
    Q_OBJECT

public:
    TextFieldButtonHelper(const QString& iconName, const std::optional<QString>& text, const QColor& color, qreal size,
                          std::function<void()> callback, QWidget* parent = nullptr);

    QString iconName() const { return m_iconName; }
    void setIconName(const QString& iconName);
    std::optional<QString> labelText() const { return m_text; }
    QColor color() const { return m_color; }
    qreal symbolSize() const { return m_size; }

    // Where the symbol is drawn.
    QRectF symbolRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_iconName;
    std::optional<QString> m_text;
    QColor m_color;
    qreal m_size;
    std::function<void()> m_callback;
};
