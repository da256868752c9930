#include "platform/AppIdentity.h"

#include <QCoreApplication>

void AppIdentity::apply()
{
    QCoreApplication::setOrganizationName(organizationName());
    QCoreApplication::setApplicationName(applicationName());
    QCoreApplication::setApplicationVersion(QStringLiteral(TARN_VERSION));
}
