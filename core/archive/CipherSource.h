#pragma once

#include "core/archive/SecretBytes.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Random-access plaintext view of an AES-256-CBC (PKCS#7) file. In CBC each plaintext block
// depends only on its own cipher block and the one before, so any range decrypts on its own
// and the file never has to be decrypted whole, neither in memory nor on disk.
class CipherSource
{
public:
    enum class Check {
        ok,
        empty, // 0 bytes
        unreadable, // read error, size not a multiple of the block, or invalid padding
        notZip, // the plaintext does not begin with a ZIP local file header
    };

    // The key goes into the cipher context at once; no copy of it is kept.
    CipherSource(int fd, const QByteArray& key, const QByteArray& iv);
    CipherSource(int fd, const SecretBytes& key, const QByteArray& iv);
    ~CipherSource();
    CipherSource(const CipherSource&) = delete;
    CipherSource& operator=(const CipherSource&) = delete;

    // Decides from the first and the last block alone whether the file can be a backup.
    Check open(QString* detail);
    qint64 cipherSize() const { return m_cipherSize; }
    qint64 plainSize() const { return m_plainSize; }

    // Decrypts a chunk starting at pos; *data points into an internal buffer that stays valid
    // until the next call. Returns the byte count (0 at the end) or -1 on a read error.
    qint64 read(qint64 pos, const char** data);
    // Decrypts exactly `length` bytes (less than one chunk) starting at pos into out.
    bool readExactly(qint64 pos, qint64 length, char* out);
    QString errorString() const { return m_error; }

private:
    bool decrypt(qint64 alignedPos, qint64 length, unsigned char* out);

    int m_fd;
    QByteArray m_iv;
    bool m_keyed = false;
    void* m_ctx = nullptr;
    qint64 m_cipherSize = 0;
    qint64 m_plainSize = 0;
    std::vector<unsigned char> m_cipher;
    std::vector<unsigned char> m_plain;
    QString m_error;
};
