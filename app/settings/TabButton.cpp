#include "app/settings/TabButton.h"

#include "kit/controls/TrendyButtonHelper.h"
#include "kit/theme/TarnColor.h"

TrendyButtonHelper* makeTabButton(const QString& text, std::optional<QColor> buttonColor,
                                  std::optional<QString> iconName, std::function<void()> callback, QWidget* parent)
{
    TrendyButtonHelper::Fields fields;
    fields.text = text;
    fields.buttonColor = std::move(buttonColor);
    fields.textColor = TarnColor::controlBackgroundColor();
    fields.iconName = std::move(iconName);
    fields.imgSize = 18;
    fields.font = TarnFont::roboto_regular14;
    fields.padding = 10;
    fields.timer = 0;
    fields.minWidth = 10;
    fields.alignment = Qt::AlignLeft;
    fields.callback = std::move(callback);
    return new TrendyButtonHelper(std::move(fields), parent);
}
