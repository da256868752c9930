#pragma once

#include <QCoreApplication>
#include <QEnterEvent>
#include <QWidget>

// Sends the pointer into (or out of) a widget, as a hover would.
inline void hover(QWidget* widget, bool inside)
{
    if (inside) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(widget, &leave);
    }
}
