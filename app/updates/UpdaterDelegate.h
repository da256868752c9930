#pragma once

#include "platform/updates/Updater.h"

#include <QObject>
#include <QString>

// The update state shown by the views: whether the last check found a newer release, and its version.
// The updater may report on any thread; the state changes on this object's (the GUI) thread.
class UpdaterDelegate : public QObject, public UpdaterDelegateProtocol
{
    Q_OBJECT
    Q_PROPERTY(bool isUpdateAvailable READ isUpdateAvailable NOTIFY isUpdateAvailableChanged)
    Q_PROPERTY(QString availableUpdateVersion READ availableUpdateVersion NOTIFY availableUpdateVersionChanged)

public:
    explicit UpdaterDelegate(QObject* parent = nullptr);

    bool isUpdateAvailable() const { return m_isUpdateAvailable; }
    // The display version of the update found last (plain text), empty while none is offered.
    QString availableUpdateVersion() const { return m_availableUpdateVersion; }

    void didFindValidUpdate(Updater* updater, const AppcastItem& item) override;
    void didNotFindUpdate(Updater* updater) override;

Q_SIGNALS:
    void isUpdateAvailableChanged();
    void availableUpdateVersionChanged();

private:
    void setState(bool available, const QString& version);

    bool m_isUpdateAvailable = false;
    QString m_availableUpdateVersion;
};
