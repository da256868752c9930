#include "kit/theme/Motion.h"

#include <QPointF>
#include <atomic>

namespace {
std::atomic<int> duration{350};
}

namespace Motion {

QEasingCurve easeInOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

int defaultDuration()
{
    return duration.load();
}

void setDefaultDuration(int milliseconds)
{
    duration.store(qMax(0, milliseconds));
}

} // namespace Motion
