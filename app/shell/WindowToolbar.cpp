#include "app/shell/WindowToolbar.h"

#include "app/shell/ToolbarItem.h"

#include <QHBoxLayout>

WindowToolbar::WindowToolbar(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(12, 4, 12, 4);
    m_layout->setSpacing(8);
}

WindowToolbar::~WindowToolbar() = default;

void WindowToolbar::setDelegate(WindowToolbarDelegate* delegate)
{
    m_delegate = delegate;
    for (ToolbarItem* item : std::as_const(m_items)) {
        delete item;
    }
    m_items.clear();
    if (m_delegate) {
        for (const QString& identifier : m_delegate->toolbarDefaultItemIdentifiers(this)) {
            insertItemWithItemIdentifier(identifier, int(m_items.size()));
        }
    }
    Q_EMIT itemsChanged();
}

QStringList WindowToolbar::itemIdentifiers() const
{
    QStringList identifiers;
    for (const ToolbarItem* item : m_items) {
        identifiers.append(item->itemIdentifier());
    }
    return identifiers;
}

int WindowToolbar::indexOfItem(const QString& itemIdentifier) const
{
    return int(itemIdentifiers().indexOf(itemIdentifier));
}

ToolbarItem* WindowToolbar::makeItem(const QString& itemIdentifier)
{
    if (itemIdentifier == flexibleSpaceItemIdentifier) {
        auto* space = new ToolbarItem(itemIdentifier, nullptr, this);
        space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        space->setAttribute(Qt::WA_TransparentForMouseEvents);
        return space;
    }
    if (!m_delegate || !m_delegate->toolbarAllowedItemIdentifiers(this).contains(itemIdentifier)) {
        return nullptr;
    }
    return m_delegate->toolbarItemForIdentifier(this, itemIdentifier);
}

void WindowToolbar::insertItemWithItemIdentifier(const QString& itemIdentifier, int index)
{
    ToolbarItem* item = makeItem(itemIdentifier);
    if (!item) {
        return;
    }
    index = qBound(0, index, int(m_items.size()));
    item->setParent(this);
    m_items.insert(index, item);
    m_layout->insertWidget(index, item, 0, Qt::AlignVCenter);
    item->show();
    Q_EMIT itemsChanged();
}

void WindowToolbar::removeItemAtIndex(int index)
{
    if (index < 0 || index >= m_items.size()) {
        return;
    }
    ToolbarItem* item = m_items.takeAt(index);
    m_layout->removeWidget(item);
    delete item;
    Q_EMIT itemsChanged();
}

void WindowToolbar::validateVisibleItems()
{
    m_layout->invalidate();
    for (ToolbarItem* item : std::as_const(m_items)) {
        item->update();
    }
}
