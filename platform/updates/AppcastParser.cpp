#include "platform/updates/AppcastParser.h"

#include "platform/updates/UpdateAddress.h"
#include "platform/updates/UpdateVersion.h"

#include <QXmlStreamReader>

namespace {

UpdateError malformed(const QString& detail)
{
    return UpdateError{UpdateError::malformedFeed, detail};
}

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"https" || scheme == u"http");
}

struct RawItem
{
    std::optional<QString> version;
    std::optional<QString> shortVersion;
    std::optional<QXmlStreamAttributes> enclosure;
};

Result<AppcastItem, UpdateError> validated(const RawItem& raw, const QUrl& feedUrl)
{
    if (!raw.version || !UpdateVersion::parse(*raw.version))
        return fail(malformed(QStringLiteral("item without a valid version")));
    if (!raw.enclosure)
        return fail(malformed(QStringLiteral("item without an enclosure")));

    AppcastItem item;
    item.versionString = raw.version->trimmed();
    item.displayVersionString = AppcastParser::displayText(raw.shortVersion.value_or(QString()));
    if (item.displayVersionString.isEmpty())
        item.displayVersionString = item.versionString;

    const QXmlStreamAttributes& attributes = *raw.enclosure;
    const QUrl url =
        feedUrl.resolved(QUrl(attributes.value(QLatin1String("url")).toString().trimmed(), QUrl::StrictMode));
    if (!isWebUrl(url))
        return fail(malformed(QStringLiteral("enclosure address is not a web address")));
    // A feed over https never sends its download to plain http, not even on this machine.
    const bool secureFeed = feedUrl.scheme() == QLatin1String("https");
    if (!UpdateAddress::isAllowed(url) || (secureFeed && url.scheme() != QLatin1String("https")))
        return fail(UpdateError{UpdateError::insecureAddress, QStringLiteral("enclosure not over https")});
    item.enclosureUrl = url;

    bool isNumber = false;
    item.enclosureLength = attributes.value(QLatin1String("length")).trimmed().toLongLong(&isNumber);
    if (!isNumber || item.enclosureLength <= 0 || item.enclosureLength > AppcastParser::maximumEnclosureLength)
        return fail(malformed(QStringLiteral("enclosure length missing or out of range")));

    const QString signature =
        attributes.value(AppcastParser::updateNamespace(), QLatin1String("edSignature")).trimmed().toString();
    // Characters outside ASCII are no base64 digits, so they fail the decoding.
    const auto decoded = QByteArray::fromBase64Encoding(signature.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 64)
        return fail(malformed(QStringLiteral("enclosure without a valid Ed25519 signature")));
    item.edSignature = decoded.decoded;
    return item;
}

class FeedReader
{
public:
    FeedReader(const QByteArray& feed, const QUrl& feedUrl)
        : m_xml(feed)
        , m_feedUrl(feedUrl)
    {
    }

    Result<QList<AppcastItem>, UpdateError> read()
    {
        // Document type declarations bring entities; a feed has no use for them.
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::DTD)
                return fail(malformed(QStringLiteral("document type declaration")));
            if (token == QXmlStreamReader::StartElement)
                break;
        }
        if (m_xml.tokenType() != QXmlStreamReader::StartElement || m_xml.name() != u"rss" ||
            !m_xml.namespaceUri().isEmpty())
            return fail(malformed(xmlError(QStringLiteral("no rss root element"))));

        bool hasChannel = false;
        while (m_xml.readNextStartElement()) {
            if (isPlain(u"channel")) {
                hasChannel = true;
                if (auto failure = readChannel())
                    return fail(*failure);
            } else {
                m_xml.skipCurrentElement();
            }
        }
        while (!m_xml.atEnd())
            m_xml.readNext();
        if (m_xml.hasError())
            return fail(malformed(m_xml.errorString()));
        if (!hasChannel)
            return fail(malformed(QStringLiteral("no channel")));
        return m_items;
    }

private:
    bool isPlain(QStringView name) const { return m_xml.name() == name && m_xml.namespaceUri().isEmpty(); }
    bool isUpdate(QStringView name) const
    {
        return m_xml.name() == name && m_xml.namespaceUri() == AppcastParser::updateNamespace();
    }

    QString xmlError(const QString& fallback) const { return m_xml.hasError() ? m_xml.errorString() : fallback; }

    std::optional<UpdateError> readChannel()
    {
        while (m_xml.readNextStartElement()) {
            if (!isPlain(u"item")) {
                m_xml.skipCurrentElement();
                continue;
            }
            RawItem raw;
            if (auto failure = readItem(raw))
                return failure;
            Result<AppcastItem, UpdateError> item = validated(raw, m_feedUrl);
            if (!item)
                return item.error();
            m_items << *item;
        }
        if (m_xml.hasError())
            return malformed(m_xml.errorString());
        return std::nullopt;
    }

    std::optional<UpdateError> readItem(RawItem& raw)
    {
        while (m_xml.readNextStartElement()) {
            if (isUpdate(u"version") || isUpdate(u"shortVersionString")) {
                std::optional<QString>& field = m_xml.name() == u"version" ? raw.version : raw.shortVersion;
                if (field)
                    return malformed(QStringLiteral("repeated version element"));
                field = m_xml.readElementText();
            } else if (isPlain(u"enclosure")) {
                if (raw.enclosure)
                    return malformed(QStringLiteral("more than one enclosure"));
                raw.enclosure = m_xml.attributes();
                m_xml.skipCurrentElement();
            } else {
                m_xml.skipCurrentElement();
            }
            if (m_xml.hasError())
                return malformed(m_xml.errorString());
        }
        if (m_xml.hasError())
            return malformed(m_xml.errorString());
        return std::nullopt;
    }

    QXmlStreamReader m_xml;
    QUrl m_feedUrl;
    QList<AppcastItem> m_items;
};

} // namespace

namespace AppcastParser {

QString updateNamespace()
{
    return QStringLiteral("urn:tarn-backup-manager:update");
}

Result<QList<AppcastItem>, UpdateError> parse(const QByteArray& feed, const QUrl& feedUrl)
{
    return FeedReader(feed, feedUrl).read();
}

std::optional<AppcastItem> newestUpdate(const QList<AppcastItem>& items, const QString& currentVersion)
{
    const QList<int> current = UpdateVersion::parse(currentVersion).value_or(QList<int>{});
    std::optional<AppcastItem> best;
    QList<int> bestVersion = current;
    for (const AppcastItem& item : items) {
        const QList<int> version = UpdateVersion::parse(item.versionString).value_or(QList<int>{});
        if (UpdateVersion::compare(version, bestVersion) > 0) {
            best = item;
            bestVersion = version;
        }
    }
    return best;
}

QString displayText(const QString& raw)
{
    QString text;
    text.reserve(qMin(raw.size(), qsizetype(4 * maximumDisplayVersionLength)));
    for (const QChar c : raw) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            text += QLatin1Char(' ');
            break;
        default:
            text += c;
        }
    }
    text = text.simplified();
    if (text.size() <= maximumDisplayVersionLength)
        return text;
    QString cut = text.left(maximumDisplayVersionLength - 1);
    if (cut.back().isHighSurrogate())
        cut.chop(1);
    return cut.trimmed() + QChar(0x2026);
}

} // namespace AppcastParser
