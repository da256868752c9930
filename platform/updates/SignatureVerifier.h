#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Ed25519 signatures of update downloads (OpenSSL).
namespace SignatureVerifier {

constexpr qsizetype publicKeyLength = 32;
constexpr qsizetype signatureLength = 64;

// The raw key of its base64 text, or nothing when that is no 32-byte key.
std::optional<QByteArray> decodePublicKey(const QString& base64);

// Whether signature is a valid signature of data under the raw publicKey.
bool verify(QByteArrayView data, const QByteArray& signature, const QByteArray& publicKey);

// The same for a file's whole content; false when it cannot be read. Reads the file: call off the GUI thread.
bool verifyFile(const QString& path, const QByteArray& signature, const QByteArray& publicKey);

} // namespace SignatureVerifier
