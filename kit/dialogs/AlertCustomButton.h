#pragma once

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

// One button of an alert card. Equal by id alone; the hash covers id, title, colour and default flag.
template <typename Item>
struct AlertCustomButton
{
    QUuid id = QUuid::createUuid();
    QString title;
    QColor bgColor;
    bool isDefault = false;
    std::function<void(const std::optional<Item>&)> action;
    std::function<void(const std::optional<QList<Item>>&)> actionForArray;

    // A button with a fresh id.
    static AlertCustomButton make(const QString& title, const QColor& bgColor, bool isDefault = false,
                                  std::function<void(const std::optional<Item>&)> action = {})
    {
        AlertCustomButton button;
        button.title = title;
        button.bgColor = bgColor;
        button.isDefault = isDefault;
        button.action = std::move(action);
        return button;
    }

    bool operator==(const AlertCustomButton& other) const { return id == other.id; }

    // What a click does with the card's copies: the selected item goes to action; else a non-empty list
    // goes to actionForArray; else action gets nothing. A missing action is skipped.
    void route(const std::optional<Item>& selectedItem, const std::optional<QList<Item>>& items) const
    {
        if (selectedItem) {
            if (action)
                action(selectedItem);
        } else if (items && !items->isEmpty()) {
            if (actionForArray)
                actionForArray(items);
        } else if (action) {
            action(std::nullopt);
        }
    }
};

template <typename Item>
size_t qHash(const AlertCustomButton<Item>& button, size_t seed = 0)
{
    return qHashMulti(seed, button.id, button.title, quint64(button.bgColor.rgba64()), button.isDefault);
}

// The item of the flag form, which has none.
struct AlertNoItem
{
};
