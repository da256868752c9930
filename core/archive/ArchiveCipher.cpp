#include "core/archive/ArchiveCipher.h"

#include "core/archive/FaultPlan.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace {

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::optional<QByteArray> aesCrypt(const QByteArray& key, const QByteArray& iv, const QByteArray& data, bool padding,
                                   bool encrypt)
{
    if (key.size() != ArchiveCipher::keyLength || iv.size() != ArchiveCipher::blockSize)
        return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return std::nullopt;
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* v = reinterpret_cast<const unsigned char*>(iv.constData());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, k, v, encrypt ? 1 : 0) != 1)
        return std::nullopt;
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    QByteArray out(data.size() + ArchiveCipher::blockSize, Qt::Uninitialized);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    int written = 0;
    int last = 0;
    if (EVP_CipherUpdate(ctx.get(), o, &written, reinterpret_cast<const unsigned char*>(data.constData()),
                         int(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), o + written, &last) != 1)
        return std::nullopt;
    out.truncate(written + last);
    return out;
}

} // namespace

std::optional<SecretBytes> ArchiveCipher::deriveSecretKey(const QString& password)
{
    return deriveSecretKey(SecretBytes::fromText(password));
}

std::optional<SecretBytes> ArchiveCipher::takeSecretKey(SecretBytes& password, const FaultPlan& faults)
{
    std::optional<SecretBytes> key = faults.failKeyDerivation ? std::nullopt : deriveSecretKey(password);
    password.wipe();
    return key;
}

std::optional<SecretBytes> ArchiveCipher::deriveSecretKey(const SecretBytes& password)
{
    // Password material = UTF-8 of the password followed by the internal key, built in a buffer
    // that is cleansed.
    const size_t keyTextLength = std::char_traits<char>::length(internalKey);
    SecretBytes material(password.size() + keyTextLength);
    if (!password.isEmpty())
        std::memcpy(material.data(), password.data(), password.size());
    std::memcpy(material.data() + password.size(), internalKey, keyTextLength);

    const QByteArray salt = utf8Data(QLatin1String(saltText));
    SecretBytes key(keyLength);
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(material.data()), int(material.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()), iterations,
                          EVP_sha256(), keyLength, key.data()) != 1)
        return std::nullopt;
    return key;
}

QByteArray ArchiveCipher::deriveKey(const QString& password)
{
    const std::optional<SecretBytes> key = deriveSecretKey(password);
    if (!key)
        return {};
    return QByteArray(reinterpret_cast<const char*>(key->data()), qsizetype(key->size()));
}

std::optional<QByteArray> ArchiveCipher::pbkdf2Sha256(const QByteArray& password, const QByteArray& salt,
                                                      int iterations, int length)
{
    QByteArray out(length, '\0');
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()), iterations,
                          EVP_sha256(), length, reinterpret_cast<unsigned char*>(out.data())) != 1)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> ArchiveCipher::aesEncrypt(const QByteArray& key, const QByteArray& iv, const QByteArray& data,
                                                    bool padding)
{
    return aesCrypt(key, iv, data, padding, true);
}

std::optional<QByteArray> ArchiveCipher::aesDecrypt(const QByteArray& key, const QByteArray& iv, const QByteArray& data,
                                                    bool padding)
{
    return aesCrypt(key, iv, data, padding, false);
}
