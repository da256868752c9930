#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QUrl>

// One release offered by the update feed.
struct AppcastItem
{
    QString versionString; // machine version, compared with the running one
    QString displayVersionString; // version shown to the user: plain text, length-limited
    QUrl enclosureUrl;
    qint64 enclosureLength = 0;
    QByteArray edSignature; // Ed25519 signature of the download, raw bytes
};

Q_DECLARE_METATYPE(AppcastItem)
