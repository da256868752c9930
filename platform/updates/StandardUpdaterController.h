#pragma once

#include <QObject>

class Updater;
class UpdaterDelegateProtocol;

// Owns the application's updater and starts it.
class StandardUpdaterController : public QObject
{
    Q_OBJECT

public:
    StandardUpdaterController(bool startingUpdater, UpdaterDelegateProtocol* updaterDelegate,
                              QObject* parent = nullptr);
    ~StandardUpdaterController() override;

    Updater* updater() const { return m_updater; }
    void startUpdater();

private:
    Updater* m_updater;
};
