#include "kit/inputs/Shake.h"

#include <QtMath>

qreal Shake::horizontalOffset(qreal shakes)
{
    return 5.0 * qSin(2.0 * M_PI * shakes);
}
