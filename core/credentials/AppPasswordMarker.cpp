#include "core/credentials/AppPasswordMarker.h"

#include "platform/AppSettings.h"

bool AppPasswordMarker::isSet()
{
    return AppSettings::instance().hasAppPassword();
}

void AppPasswordMarker::set(bool stored)
{
    AppSettings::instance().setHasAppPassword(stored);
}
