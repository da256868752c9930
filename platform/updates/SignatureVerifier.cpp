#include "platform/updates/SignatureVerifier.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>

namespace SignatureVerifier {

std::optional<QByteArray> decodePublicKey(const QString& base64)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(base64.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != publicKeyLength)
        return std::nullopt;
    return decoded.decoded;
}

bool verify(QByteArrayView data, const QByteArray& signature, const QByteArray& publicKey)
{
    if (signature.size() != signatureLength || publicKey.size() != publicKeyLength)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(publicKey.constData()),
                                    size_t(publicKey.size())),
        &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), reinterpret_cast<const unsigned char*>(data.data()),
                            size_t(data.size())) == 1;
}

bool verifyFile(const QString& path, const QByteArray& signature, const QByteArray& publicKey)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size == 0)
        return verify(QByteArrayView(), signature, publicKey);
    const uchar* bytes = file.map(0, size);
    if (!bytes)
        return false;
    return verify(QByteArrayView(bytes, size), signature, publicKey);
}

} // namespace SignatureVerifier
