#include "app/shell/ToolbarItem.h"

#include <QHBoxLayout>

ToolbarItem::ToolbarItem(const QString& itemIdentifier, QWidget* view, QWidget* parent)
    : QWidget(parent)
    , m_itemIdentifier(itemIdentifier)
    , m_view(view)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (m_view) {
        layout->addWidget(m_view);
    }
}

void ToolbarItem::setPaletteLabel(const QString& label)
{
    m_paletteLabel = label;
    setAccessibleName(label);
}

void ToolbarItem::setItemToolTip(const QString& text)
{
    if (m_view) {
        m_view->setToolTip(text);
    }
}
