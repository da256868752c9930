#pragma once

#include <QEasingCurve>

// The kit's one animation: ease in and out over the default duration.
namespace Motion {

// Cubic bezier (0.42, 0, 0.58, 1).
QEasingCurve easeInOut();
// Default duration in milliseconds (350).
int defaultDuration();
// Test hook: 0 makes every animation jump to its end value.
void setDefaultDuration(int milliseconds);

} // namespace Motion
