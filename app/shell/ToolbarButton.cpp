#include "app/shell/ToolbarButton.h"

#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// The symbol's own size; a smaller button scales it down, a larger one does not scale it up.
constexpr qreal symbolSize = 18;
constexpr qreal bezelRadius = 6;
} // namespace

ToolbarButton::ToolbarButton(const QString& symbolName, const QColor& tint, const QSize& size, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbolName(SymbolImage::exists(symbolName) ? symbolName : QString())
    , m_tint(tint)
    , m_size(size)
{
    setFixedSize(size);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover); // repaints on entering and leaving
}

void ToolbarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown() || underMouse() || hasFocus()) {
        QPainterPath bezel;
        bezel.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), bezelRadius, bezelRadius);
        painter.fillPath(bezel, TarnColor::withOpacity(TarnColor::secondary(), isDown() ? 0.45 : 0.2));
    }
    if (!hasImage()) {
        return;
    }
    const qreal side = qMin<qreal>(symbolSize, qMin(width(), height()));
    QRectF target(0, 0, side, side);
    target.moveCenter(QRectF(rect()).center());
    SymbolImage::paint(&painter, target, m_symbolName, isEnabled() ? m_tint : TarnColor::secondary());
}
