#include "app/updates/CheckForUpdatesViewModel.h"

#include "platform/updates/Updater.h"

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater* updater, QObject* parent)
    : QObject(parent)
    , m_updater(updater)
{
    if (!m_updater)
        return;
    setCanCheckForUpdates(m_updater->canCheckForUpdates());
    connect(m_updater, &Updater::canCheckForUpdatesChanged, this, &CheckForUpdatesViewModel::setCanCheckForUpdates);
}

void CheckForUpdatesViewModel::setCanCheckForUpdates(bool value)
{
    if (m_canCheckForUpdates == value)
        return;
    m_canCheckForUpdates = value;
    Q_EMIT canCheckForUpdatesChanged();
}
