#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class ToolbarItem;
class WindowToolbar;

// Supplies the items of a toolbar.
class WindowToolbarDelegate
{
public:
    virtual ~WindowToolbarDelegate() = default;
    // The identifiers the toolbar may hold.
    virtual QStringList toolbarAllowedItemIdentifiers(WindowToolbar* toolbar) = 0;
    // The identifiers the toolbar holds when its delegate is set.
    virtual QStringList toolbarDefaultItemIdentifiers(WindowToolbar* toolbar) = 0;
    // A new item for the identifier, or nullptr for an identifier the delegate does not make.
    virtual ToolbarItem* toolbarItemForIdentifier(WindowToolbar* toolbar, const QString& itemIdentifier) = 0;
};

// The toolbar row of the main window: a row of items, made by its delegate, shown as icons only.
class WindowToolbar : public QWidget
{
    Q_OBJECT

public:
    // Takes the free width of the row.
    static inline const QString flexibleSpaceItemIdentifier = QStringLiteral("flexibleSpace");

    explicit WindowToolbar(QWidget* parent = nullptr);
    ~WindowToolbar() override;

    // Replaces the items by the delegate's default items.
    void setDelegate(WindowToolbarDelegate* delegate);
    WindowToolbarDelegate* delegate() const { return m_delegate; }

    QList<ToolbarItem*> items() const { return m_items; }
    QStringList itemIdentifiers() const;
    // The index of the first item with the identifier, or -1.
    int indexOfItem(const QString& itemIdentifier) const;

    // Inserts a new item of an allowed identifier at index (clamped to the row).
    void insertItemWithItemIdentifier(const QString& itemIdentifier, int index);
    void removeItemAtIndex(int index);
    // Lays the row out anew and repaints the visible items.
    void validateVisibleItems();

Q_SIGNALS:
    void itemsChanged();

private:
    ToolbarItem* makeItem(const QString& itemIdentifier);

    WindowToolbarDelegate* m_delegate = nullptr;
    QHBoxLayout* m_layout;
    QList<ToolbarItem*> m_items;
};
