#include "platform/updates/UpdateConfiguration.h"

namespace UpdateConfiguration {

QString feedUrl()
{
    return QStringLiteral(TARN_UPDATE_FEED_URL);
}

QString publicKey()
{
    return QStringLiteral(TARN_UPDATE_PUBLIC_KEY);
}

QString releaseNotesSite()
{
    return QStringLiteral(TARN_RELEASE_NOTES_SITE);
}

} // namespace UpdateConfiguration
