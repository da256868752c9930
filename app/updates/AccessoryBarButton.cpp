#include "app/updates/AccessoryBarButton.h"

#include "kit/theme/FocusMark.h"
#include "kit/theme/TarnColor.h"

#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QPainter>
#include <QSvgRenderer>

namespace {
constexpr qreal horizontalPadding = 6;
constexpr qreal imageGap = 6;
constexpr qreal cornerRadius = 4;
constexpr qreal disabledOpacity = 0.45;

QString pressActionName()
{
    return QAccessibleActionInterface::pressAction();
}

// Read as a button or a link by its name, and pressed like one.
class AccessoryBarButtonAccessible : public QAccessibleWidget
{
public:
    explicit AccessoryBarButtonAccessible(AccessoryBarButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }

    QAccessible::Role role() const override { return button()->isLink() ? QAccessible::Link : QAccessible::Button; }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return button()->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return QStringList{pressActionName()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressActionName())
            button()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    AccessoryBarButton* button() const { return static_cast<AccessoryBarButton*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("AccessoryBarButton") && object && object->isWidgetType())
        return new AccessoryBarButtonAccessible(static_cast<AccessoryBarButton*>(object));
    return nullptr;
}

} // namespace

AccessoryBarButton::AccessoryBarButton(QWidget* parent)
    : PressableView(parent)
    , m_textColor(TarnColor::primary())
{
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

AccessoryBarButton::~AccessoryBarButton() = default;

void AccessoryBarButton::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void AccessoryBarButton::setImage(const QString& resourcePath)
{
    m_image.reset();
    if (!resourcePath.isEmpty()) {
        m_image = std::make_unique<QSvgRenderer>(resourcePath);
        if (!m_image->isValid())
            m_image.reset();
    }
    updateGeometry();
    update();
}

bool AccessoryBarButton::hasImage() const
{
    return m_image != nullptr;
}

void AccessoryBarButton::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void AccessoryBarButton::setAppearance(qreal appearance)
{
    const bool wasPressable = isPressable();
    m_appearance = qBound(0.0, appearance, 1.0);
    if (isPressable() != wasPressable)
        pressableChanged();
    update();
}

QSize AccessoryBarButton::sizeHint() const
{
    qreal total = 2 * horizontalPadding + QFontMetricsF(font()).horizontalAdvance(m_text);
    if (m_image)
        total += imageSize + (m_text.isEmpty() ? 0 : imageGap);
    return {qCeil(total), barHeight};
}

void AccessoryBarButton::paintEvent(QPaintEvent*)
{
    if (m_appearance <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const qreal scale = 0.8 + 0.2 * m_appearance;
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    painter.setOpacity(m_appearance * (isEnabled() ? 1.0 : disabledOpacity));

    if ((isHovered() || isPressed()) && isEnabled()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(TarnColor::withOpacity(TarnColor::primary(), isPressed() ? 0.16 : 0.08));
        painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    }
    // Where the keyboard is, once the window is used with it.
    if (FocusMark::isShown(this))
        FocusMark::paintPatch(&painter, QRectF(rect()), cornerRadius);

    qreal x = horizontalPadding;
    if (m_image) {
        const QSizeF fitted = QSizeF(m_image->defaultSize()).scaled(QSizeF(imageSize, imageSize), Qt::KeepAspectRatio);
        m_image->render(
            &painter, QRectF(QPointF(x + (imageSize - fitted.width()) / 2, (barHeight - fitted.height()) / 2), fitted));
        x += imageSize + imageGap;
    }
    painter.setFont(font());
    painter.setPen(m_textColor);
    const QRectF textRect(x, 0, width() - x - horizontalPadding, barHeight);
    const QString shown = QFontMetricsF(font()).elidedText(m_text, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}
