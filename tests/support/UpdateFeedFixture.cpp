#include "tests/support/UpdateFeedFixture.h"

#include "platform/updates/AppcastParser.h"

#include <QXmlStreamWriter>

#include <openssl/evp.h>

SigningKey::SigningKey()
    : m_key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free)
{
}

SigningKey::~SigningKey() = default;

QString SigningKey::publicKeyBase64() const
{
    unsigned char raw[32];
    size_t length = sizeof raw;
    if (!m_key || EVP_PKEY_get_raw_public_key(m_key.get(), raw, &length) != 1)
        return {};
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(raw), qsizetype(length)).toBase64());
}

QByteArray SigningKey::sign(const QByteArray& data) const
{
    QByteArray signature(64, '\0');
    size_t length = size_t(signature.size());
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok = context && EVP_DigestSignInit(context, nullptr, nullptr, nullptr, m_key.get()) == 1 &&
        EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size())) == 1;
    EVP_MD_CTX_free(context);
    return ok ? signature : QByteArray();
}

namespace UpdateFeed {

QByteArray appcast(const QList<Entry>& entries)
{
    QByteArray text;
    QXmlStreamWriter xml(&text);
    const QString ns = AppcastParser::updateNamespace();
    xml.writeStartDocument();
    xml.writeNamespace(ns, QStringLiteral("tarn"));
    xml.writeStartElement(QStringLiteral("rss"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("channel"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Tarn-Backup-Manager"));
    for (const Entry& entry : entries) {
        xml.writeStartElement(QStringLiteral("item"));
        xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Version ") + entry.version);
        xml.writeTextElement(ns, QStringLiteral("version"), entry.version);
        if (!entry.shortVersion.isEmpty())
            xml.writeTextElement(ns, QStringLiteral("shortVersionString"), entry.shortVersion);
        xml.writeStartElement(QStringLiteral("enclosure"));
        xml.writeAttribute(QStringLiteral("url"), entry.url);
        xml.writeAttribute(QStringLiteral("length"), QString::number(entry.length));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("application/octet-stream"));
        xml.writeAttribute(ns, QStringLiteral("edSignature"), QString::fromLatin1(entry.signature.toBase64()));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return text;
}

} // namespace UpdateFeed
