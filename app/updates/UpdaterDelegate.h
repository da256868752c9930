#pragma once

#include "platform/updates/Updater.h"

#include <QObject>
#include <QString>

// The update state shown by the views: whether the last check found a newer release, and its version.
class UpdaterDelegate : public QObject, public UpdaterDelegateProtocol
{
    Q_OBJECT
    Q_PROPERTY(bool isUpdateAvailable READ isUpdateAvailable NOTIFY isUpdateAvailableChanged)
    Q_PROPERTY(QString availableUpdateVersion READ availableUpdateVersion NOTIFY availableUpdateVersionChanged)

public:
    explicit UpdaterDelegate(QObject* parent = nullptr);

    bool isUpdateAvailable() const { return m_isUpdateAvailable; }
    QString availableUpdateVersion() const { return m_availableUpdateVersion; }

    void didFindValidUpdate(Updater* updater, const AppcastItem& item) override;
    void didNotFindUpdate(Updater* updater) override;

Q_SIGNALS:
    void isUpdateAvailableChanged();
    void availableUpdateVersionChanged();

private:
    bool m_isUpdateAvailable = false;
    QString m_availableUpdateVersion;
};
