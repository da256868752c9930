#pragma once

#include <QObject>

class Updater;

// Mirrors whether the updater lets a check start now: its value at construction, then every change.
class CheckForUpdatesViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    explicit CheckForUpdatesViewModel(Updater* updater, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    Updater* updater() const { return m_updater; }

Q_SIGNALS:
    void canCheckForUpdatesChanged();

private:
    void setCanCheckForUpdates(bool value);

    Updater* m_updater;
    bool m_canCheckForUpdates = false;
};
