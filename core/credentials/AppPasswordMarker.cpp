#include "core/credentials/AppPasswordMarker.h"

#include <QSettings>
#include <QString>

namespace {
const QString markerKey = QStringLiteral("hasAppPassword");
}

bool AppPasswordMarker::isSet()
{
    return QSettings().value(markerKey, false).toBool();
}

void AppPasswordMarker::set(bool stored)
{
    QSettings settings;
    if (stored) {
        settings.setValue(markerKey, true);
    } else {
        settings.remove(markerKey);
    }
}
