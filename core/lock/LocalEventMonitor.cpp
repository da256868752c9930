#include "core/lock/LocalEventMonitor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

int installed = 0;

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        return true;
    default:
        return false;
    }
}

} // namespace

LocalEventMonitor::LocalEventMonitor(std::function<void()> handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        ++installed;
    }
}

LocalEventMonitor::~LocalEventMonitor()
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
        --installed;
    }
}

int LocalEventMonitor::installedCount()
{
    return installed;
}

bool LocalEventMonitor::isActivity(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto button = static_cast<const QMouseEvent*>(event)->button();
        return button == Qt::LeftButton || button == Qt::RightButton;
    }
    case QEvent::MouseMove:
        // A move with a pressed button is a drag.
        return static_cast<const QMouseEvent*>(event)->buttons() == Qt::NoButton;
    case QEvent::KeyPress:
        return !isModifierKey(static_cast<const QKeyEvent*>(event)->key());
    default:
        return false;
    }
}

bool LocalEventMonitor::eventFilter(QObject* watched, QEvent* event)
{
    if (isActivity(event) && m_handler) {
        m_handler();
    }
    return QObject::eventFilter(watched, event);
}
