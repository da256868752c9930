#pragma once

#include <QString>

// Names the application is known by: the settings domain and the credential-store prefix.
namespace AppIdentity {

inline QString organizationName()
{
    return QStringLiteral("Tarn");
}
inline QString applicationName()
{
    return QStringLiteral("Tarn-Backup-Manager");
}
// Stands for an empty credential-store service name.
inline QString bundleIdentifier()
{
    return QStringLiteral("de.Tarn-Backup-Manager");
}

// Sets the application's organisation and name, so that QSettings() opens the app's one domain.
void apply();

} // namespace AppIdentity
