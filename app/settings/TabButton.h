#pragma once

#include <QColor>
#include <QString>

#include <functional>
#include <optional>

class QWidget;
class TrendyButtonHelper;

// The push button of the settings tabs: 14-point text in the control background colour on the given
// fill (the accent colour when absent), an optional symbol, leading alignment.
TrendyButtonHelper* makeTabButton(const QString& text, std::optional<QColor> buttonColor,
                                  std::optional<QString> iconName, std::function<void()> callback, QWidget* parent);
