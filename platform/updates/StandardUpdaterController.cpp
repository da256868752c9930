#include "platform/updates/StandardUpdaterController.h"

#include "platform/updates/Updater.h"

StandardUpdaterController::StandardUpdaterController(bool startingUpdater, UpdaterDelegateProtocol* updaterDelegate,
                                                     QObject* parent)
    : QObject(parent)
    , m_updater(new Updater(updaterDelegate, this))
{
    if (startingUpdater) {
        startUpdater();
    }
}

StandardUpdaterController::~StandardUpdaterController() = default;

void StandardUpdaterController::startUpdater()
{
    m_updater->start();
}
