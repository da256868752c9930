#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

// An Ed25519 key pair made for one test run.
class SigningKey
{
public:
    SigningKey();
    ~SigningKey();

    QString publicKeyBase64() const;
    QByteArray sign(const QByteArray& data) const;

private:
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> m_key;
};

// Appcast texts in the updater's format.
namespace UpdateFeed {

struct Entry
{
    QString version;
    QString shortVersion; // left out when empty
    QString url;
    qint64 length = 0;
    QByteArray signature; // raw; written as base64
};

QByteArray appcast(const QList<Entry>& entries);

} // namespace UpdateFeed
