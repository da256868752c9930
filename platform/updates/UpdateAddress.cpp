#include "platform/updates/UpdateAddress.h"

#include <QHostAddress>

namespace UpdateAddress {

bool isLoopbackHost(const QString& host)
{
    QString name = host.toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name == u"localhost")
        return true;
    QHostAddress address;
    return address.setAddress(name) && address.isLoopback();
}

bool isAllowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == u"https" || (scheme == u"http" && isLoopbackHost(url.host()));
}

} // namespace UpdateAddress
