#pragma once

#include "core/archive/SecretBytes.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

struct FaultPlan;

// The fixed cipher of every backup: PKCS#7-padded AES-256-CBC under a key derived by
// PBKDF2-HMAC-SHA256 from the password followed by a built-in key string.
// The three constants are part of the file format: backups written with one set can
// only be read with the same set.
class ArchiveCipher
{
public:
    static constexpr const char* internalKey = "tB9#qLr2Vx7m!Kd4Zw8pFs3Nh6Jc1Ye5"; // 32 ASCII characters
    static constexpr const char* ivText = "Qm7#rT2vXk9pLw4z"; // 16 ASCII characters
    static constexpr const char* saltText = "oR1wEn5Ta8"; // 10 ASCII characters
    static constexpr int iterations = 10000;
    static constexpr int keyLength = 32;
    static constexpr int blockSize = 16;

    static QByteArray utf8Data(const QString& text) { return text.toUtf8(); }
    static QByteArray iv() { return QByteArray(ivText); }

    // The backup key for a password, or nothing when the derivation failed. The password bytes
    // handed to the derivation are cleansed afterwards. Never log the result.
    static std::optional<SecretBytes> deriveSecretKey(const QString& password);
    // The same for the password's UTF-8 bytes.
    static std::optional<SecretBytes> deriveSecretKey(const SecretBytes& password);
    // deriveSecretKey(), then the password is wiped: it is not needed once the key exists. Fails
    // where the plan says so.
    static std::optional<SecretBytes> takeSecretKey(SecretBytes& password, const FaultPlan& faults);
    // The same key as a byte array (empty when the derivation failed), for tests and tools.
    static QByteArray deriveKey(const QString& password);

    // Plain primitives, also used directly with published test vectors.
    static std::optional<QByteArray> pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations,
                                                  int length);
    // Whole-buffer AES-256-CBC; padding off expects and yields whole blocks.
    static std::optional<QByteArray> aesEncrypt(const QByteArray& key, const QByteArray& iv, const QByteArray& data,
                                                bool padding = true);
    static std::optional<QByteArray> aesDecrypt(const QByteArray& key, const QByteArray& iv, const QByteArray& data,
                                                bool padding = true);
};

static_assert(std::char_traits<char>::length(ArchiveCipher::internalKey) == 32);
static_assert(std::char_traits<char>::length(ArchiveCipher::ivText) == ArchiveCipher::blockSize);
static_assert(std::char_traits<char>::length(ArchiveCipher::saltText) == 10);
