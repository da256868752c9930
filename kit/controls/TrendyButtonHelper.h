#pragma once

#include "kit/controls/PressableView.h"
#include "kit/theme/TarnFont.h"

#include <QColor>
#include <QPixmap>

#include <functional>
#include <optional>

class QVariantAnimation;

// The push button of the kit: a filled rounded rectangle with an optional icon (a symbol or a bitmap), an
// optional text and an optional countdown "(n)". Hovering lightens the fill, pressing dims the whole
// button, disabled shows a grey fill and runs nothing. An enabled button is reached with Tab (a click
// leaves the focus where it was), shows a ring while focused, and Space or Return presses it.
class TrendyButtonHelper : public PressableView
{
    Q_OBJECT
    Q_PROPERTY(bool isDisabled READ isDisabled WRITE setIsDisabled NOTIFY disabledChanged)
    Q_PROPERTY(int timer READ timer WRITE setTimer NOTIFY timerChanged)
    Q_PROPERTY(qreal pressOpacity READ pressOpacity WRITE setPressOpacity)

public:
    struct Fields
    {
        std::optional<QString> text;
        std::optional<QColor> buttonColor;
        QColor textColor;
        std::optional<QString> iconName;
        std::optional<QPixmap> nsImage;
        qreal imgSize = 18;
        std::optional<QColor> iconColor;
        TarnFont font = TarnFont::roboto_regular14;
        qreal padding = 10;
        int timer = 0;
        qreal minWidth = 0;
        Qt::Alignment alignment = Qt::AlignCenter;
        bool isDisabled = false;
        std::function<void()> callback;
    };

    explicit TrendyButtonHelper(Fields fields, QWidget* parent = nullptr);

    bool isDisabled() const { return m_fields.isDisabled; }
    void setIsDisabled(bool disabled);
    int timer() const { return m_fields.timer; }
    void setTimer(int value);
    qreal pressOpacity() const { return m_pressOpacity; }
    void setPressOpacity(qreal opacity);

    const Fields& fields() const { return m_fields; }
    void setText(const std::optional<QString>& text);
    void setCallback(std::function<void()> callback);

    // The fill for the current disabled and hovered state.
    QColor fillColor() const;
    // The countdown as shown, empty while the timer is below 1.
    QString countdownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public Q_SLOTS:
    // What a click does: runs the callback unless disabled.
    void trigger() { click(); }

Q_SIGNALS:
    void disabledChanged(bool disabled);
    void timerChanged(int value);

protected:
    bool isPressable() const override { return !m_fields.isDisabled; }
    void run() override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Layout
    {
        QRectF background;
        QRectF icon;
        QRectF text;
        QRectF countdown;
    };
    Layout layoutIn(const QRectF& bounds) const;
    QSizeF contentSize() const;
    qreal iconWidth() const;
    QFont countdownFont() const;
    void fadePress(bool pressed);

    Fields m_fields;
    QFont m_font;
    qreal m_pressOpacity = 1.0;
    QVariantAnimation* m_pressAnimation = nullptr;
};
