#pragma once

#include <QPointF>

// A horizontal wiggle driven by a counter: the content is offset by 5 * sin(2 pi * shakes) points.
// At whole numbers the offset is 0, so animating `shakes` from n to n + k moves the content k times
// left and right and brings it back to rest.
class Shake
{
public:
    explicit Shake(qreal shakes = 0)
        : shakes(shakes)
    {
    }

    qreal animatableData() const { return shakes; }
    void setAnimatableData(qreal value) { shakes = value; }

    QPointF offset() const { return {horizontalOffset(shakes), 0}; }
    static qreal horizontalOffset(qreal shakes);

    qreal shakes;
};
