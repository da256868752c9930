#include "app/updates/UpdaterDelegate.h"

UpdaterDelegate::UpdaterDelegate(QObject* parent)
    : QObject(parent)
{
}

void UpdaterDelegate::didFindValidUpdate(Updater*, const AppcastItem&) { }

void UpdaterDelegate::didNotFindUpdate(Updater*) { }
