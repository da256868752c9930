#pragma once

#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/AlertCustomButton.h"
#include "kit/dialogs/AlertCustomType.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/theme/Binding.h"

#include <QCoreApplication>

#include <functional>
#include <optional>

// Presents an alert card over a host widget's window while isPresented reads true. The card copies the
// selected item (else the list's first element) for the message and the buttons; closing it writes
// isPresented false. The owner presents after setting its flag or item, and closes the card from outside
// by dismissing the returned overlay (or SheetOverlay::dismissAll on its window).
template <typename Item>
struct AlertCustomModifier
{
    Binding<bool> isPresented;
    Binding<std::optional<Item>> selectedItem;
    Binding<std::optional<QList<Item>>> items;
    QString title;
    std::function<QWidget*(const std::optional<Item>&)> message;
    QList<AlertCustomButton<Item>> buttons;
    AlertCustomType alertType = AlertCustomType::info;
    std::optional<QString> withWarningTXT;
    std::optional<QString> toggleText;

    // The open overlay, or nullptr when isPresented reads false.
    SheetOverlay* present(QWidget* host) const
    {
        if (!host || !isPresented.get())
            return nullptr;
        const std::optional<Item> selected = selectedItem.get();
        const std::optional<QList<Item>> list = items.get();
        std::optional<Item> chosen = selected;
        if (!chosen && list && !list->isEmpty())
            chosen = list->first();

        QList<AlertCommon::Button> cardButtons;
        for (const AlertCustomButton<Item>& button : buttons) {
            cardButtons << AlertCommon::Button{button.id, button.title, button.bgColor, button.isDefault,
                                               [button, selected, list] { button.route(selected, list); }};
        }
        QWidget* content = message ? message(chosen) : nullptr;
        auto* card = new AlertCommon(title, content, cardButtons, alertType, withWarningTXT, toggleText);
        SheetOverlay* overlay = SheetOverlay::present(host, card);
        card->setDismissAction([overlay] { overlay->dismiss(); });
        const Binding<bool> presented = isPresented;
        QObject::connect(overlay, &SheetOverlay::dismissed, overlay, [presented] { presented.set(false); });
        return overlay;
    }
};

namespace AlertCustom {

// Title lookup for translation; a title without one shows itself.
inline QString translatedTitle(const QString& title)
{
    return QCoreApplication::translate("AlertCustom", title.toUtf8().constData());
}

// Item form: shown while the selected item is present; closing clears it. Call after setting the item.
template <typename Item>
SheetOverlay* alertCustom(QWidget* host, Binding<std::optional<Item>> selectedItem, const QString& title,
                          std::function<QWidget*(const std::optional<Item>&)> message,
                          QList<AlertCustomButton<Item>> buttons, AlertCustomType alertType,
                          std::optional<QString> withWarningTXT = std::nullopt,
                          std::optional<QString> toggleText = std::nullopt)
{
    AlertCustomModifier<Item> modifier;
    modifier.isPresented = Binding<bool>([selectedItem] { return selectedItem.get().has_value(); },
                                         [selectedItem](const bool& value) {
                                             if (!value)
                                                 selectedItem.set(std::nullopt);
                                         });
    modifier.selectedItem = selectedItem;
    modifier.items = Binding<std::optional<QList<Item>>>::constant(std::nullopt);
    modifier.title = translatedTitle(title);
    modifier.message = std::move(message);
    modifier.buttons = std::move(buttons);
    modifier.alertType = alertType;
    modifier.withWarningTXT = std::move(withWarningTXT);
    modifier.toggleText = std::move(toggleText);
    return modifier.present(host);
}

// Flag form: shown while the flag is true; closing sets it false. Call after setting the flag.
inline SheetOverlay* alertCustom(QWidget* host, Binding<bool> isPresented, const QString& title,
                                 std::function<QWidget*()> message, QList<AlertCustomButton<AlertNoItem>> buttons,
                                 AlertCustomType alertType, std::optional<QString> withWarningTXT = std::nullopt,
                                 std::optional<QString> toggleText = std::nullopt)
{
    AlertCustomModifier<AlertNoItem> modifier;
    modifier.isPresented = std::move(isPresented);
    modifier.selectedItem = Binding<std::optional<AlertNoItem>>::constant(std::nullopt);
    modifier.items = Binding<std::optional<QList<AlertNoItem>>>::constant(std::nullopt);
    modifier.title = translatedTitle(title);
    modifier.message = [message = std::move(message)](const std::optional<AlertNoItem>&) {
        return message ? message() : nullptr;
    };
    modifier.buttons = std::move(buttons);
    modifier.alertType = alertType;
    modifier.withWarningTXT = std::move(withWarningTXT);
    modifier.toggleText = std::move(toggleText);
    return modifier.present(host);
}

} // namespace AlertCustom
