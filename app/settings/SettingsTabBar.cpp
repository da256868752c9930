#include "app/settings/SettingsTabBar.h"

#include "kit/theme/FontFaces.h"

#include <QEvent>
#include <QStyleOptionTab>
#include <QStylePainter>

#include <algorithm>

namespace {

constexpr int horizontalPadding = 8;
constexpr int verticalPadding = 6;
constexpr int iconLabelSpacing = 3;

} // namespace

SettingsTabBar::SettingsTabBar(int width, QWidget* parent)
    : QTabBar(parent)
    , m_width(width)
{
    setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal));
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(false);
    setExpanding(false);
    setDrawBase(true);
}

QSize SettingsTabBar::contentSize() const
{
    int widest = iconSize().width();
    for (int i = 0; i < count(); ++i) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(tabText(i)));
    }
    return QSize(widest + 2 * horizontalPadding,
                 verticalPadding + iconSize().height() + iconLabelSpacing + fontMetrics().height() + verticalPadding);
}

QSize SettingsTabBar::tabSizeHint(int index) const
{
    Q_UNUSED(index);
    const QSize content = contentSize();
    return QSize(std::max(content.width(), count() > 0 ? m_width / count() : m_width), content.height());
}

QSize SettingsTabBar::minimumTabSizeHint(int index) const
{
    return tabSizeHint(index);
}

QRect SettingsTabBar::iconRect(int index) const
{
    const QRect tab = tabRect(index);
    return QRect(tab.center().x() - iconSize().width() / 2 + 1, tab.top() + verticalPadding, iconSize().width(),
                 iconSize().height());
}

QRect SettingsTabBar::labelRect(int index) const
{
    const QRect tab = tabRect(index);
    return QRect(tab.left() + horizontalPadding, iconRect(index).bottom() + 1 + iconLabelSpacing,
                 tab.width() - 2 * horizontalPadding, fontMetrics().height());
}

void SettingsTabBar::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QStylePainter painter(this);
    if (drawBase()) {
        QStyleOptionTabBarBase base;
        base.initFrom(this);
        base.shape = shape();
        base.documentMode = documentMode();
        const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
        base.rect = QRect(0, height() - overlap, width(), overlap);
        base.tabBarRect = rect();
        base.selectedTabRect = tabRect(currentIndex());
        painter.drawPrimitive(QStyle::PE_FrameTabBarBase, base);
    }
    // The selected tab last, as it overlaps its neighbours.
    QList<int> order;
    for (int i = 0; i < count(); ++i) {
        if (i != currentIndex()) {
            order.append(i);
        }
    }
    if (currentIndex() >= 0) {
        order.append(currentIndex());
    }
    for (int i : std::as_const(order)) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        painter.drawControl(QStyle::CE_TabBarTabShape, option);
        const bool enabled = isTabEnabled(i) && isEnabled();
        tabIcon(i).paint(&painter, iconRect(i), Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
        painter.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(labelRect(i), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, tabText(i));
        if (i == currentIndex() && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = option.rect.adjusted(3, 3, -3, -3);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
}

void SettingsTabBar::changeEvent(QEvent* event)
{
    QTabBar::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        updateGeometry();
    }
}
