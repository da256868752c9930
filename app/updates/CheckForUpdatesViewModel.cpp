#include "app/updates/CheckForUpdatesViewModel.h"

#include "platform/updates/Updater.h"

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater* updater, QObject* parent)
    : QObject(parent)
    , m_updater(updater)
{
}
