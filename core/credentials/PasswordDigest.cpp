#include "core/credentials/PasswordDigest.h"

#include "core/archive/SecretBytes.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {
constexpr int saltSize = 16;
}

void cleanseText(QString& text)
{
    if (!text.isEmpty() && text.isDetached()) {
        OPENSSL_cleanse(text.data(), size_t(text.size()) * sizeof(QChar));
    }
    text.clear();
}

PasswordDigest::PasswordDigest(QByteArray salt, QByteArray digest)
    : m_salt(std::move(salt))
    , m_digest(std::move(digest))
{
}

PasswordDigest::~PasswordDigest()
{
    SecretBytes::cleanse(m_digest);
}

PasswordDigest& PasswordDigest::operator=(const PasswordDigest& other)
{
    if (this != &other) {
        SecretBytes::cleanse(m_digest);
        m_salt = other.m_salt;
        m_digest = other.m_digest;
    }
    return *this;
}

QByteArray PasswordDigest::newSalt()
{
    QByteArray salt(saltSize, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), saltSize) != 1) {
        // A fixed salt still keeps the text out of memory; it only loses the per-read difference.
        salt.fill('\0');
    }
    return salt;
}

PasswordDigest PasswordDigest::take(QString&& text)
{
    QByteArray salt = newSalt();
    QByteArray digest = digestOf(salt, text);
    cleanseText(text);
    return PasswordDigest(std::move(salt), std::move(digest));
}

PasswordDigest PasswordDigest::of(const SecretBytes& utf8)
{
    QByteArray salt = newSalt();
    QByteArray digest = digestOf(salt, utf8.chars(), utf8.size());
    return PasswordDigest(std::move(salt), std::move(digest));
}

QByteArray PasswordDigest::digestOf(const QByteArray& salt, const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    QByteArray digest = digestOf(salt, utf8.constData(), size_t(utf8.size()));
    SecretBytes::cleanse(utf8);
    return digest;
}

QByteArray PasswordDigest::digestOf(const QByteArray& salt, const char* utf8, size_t size)
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool done = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1 &&
        EVP_DigestUpdate(context, salt.constData(), size_t(salt.size())) == 1 &&
        (size == 0 || EVP_DigestUpdate(context, utf8, size) == 1) &&
        EVP_DigestFinal_ex(context, reinterpret_cast<unsigned char*>(digest.data()), &length) == 1;
    EVP_MD_CTX_free(context); // cleanses its state
    if (!done) {
        return {};
    }
    digest.truncate(qsizetype(length));
    return digest;
}

bool PasswordDigest::matches(const QString& typed) const
{
    const QByteArray candidate = digestOf(m_salt, typed);
    // Both digests have the same length unless hashing failed, which matches nothing.
    return !m_digest.isEmpty() && candidate.size() == m_digest.size() &&
        CRYPTO_memcmp(candidate.constData(), m_digest.constData(), size_t(m_digest.size())) == 0;
}
