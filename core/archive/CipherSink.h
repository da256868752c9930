#pragma once

#include "core/archive/SecretBytes.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Encrypts a byte stream with AES-256-CBC (PKCS#7) into a file descriptor. The caller's
// bytes are gathered in fixed chunks that a second thread encrypts and a third writes, so
// packing, encryption and writing overlap and memory stays bounded by a few chunks. CBC
// encryption cannot be split, so the encrypting thread does nothing else. The writer starts
// the write-back of what it wrote as it goes, so a final fsync has little left to wait for.
class CipherSink
{
public:
    static constexpr size_t chunkSize = 1 << 20;

    // The key is copied into a buffer that is cleansed once the cipher context holds it.
    CipherSink(int fd, const QByteArray& key, const QByteArray& iv);
    CipherSink(int fd, const SecretBytes& key, const QByteArray& iv);
    ~CipherSink();
    CipherSink(const CipherSink&) = delete;
    CipherSink& operator=(const CipherSink&) = delete;

    // False once anything failed; errorString() then says what.
    bool write(const void* data, size_t size);
    // Encrypts the rest with its padding and waits for every write to finish.
    bool finish();
    QString errorString() const;
    quint64 bytesOut() const { return m_bytesOut; }

private:
    struct Encrypted
    {
        std::vector<unsigned char> bytes;
        bool last = false;
    };

    void encryptLoop();
    void writeLoop();
    bool hand(std::vector<char>&& chunk, bool last);
    void setError(const QString& error);

    int m_fd;
    std::vector<char> m_current;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<char>> m_queue;
    std::vector<std::vector<char>> m_spare;
    std::deque<Encrypted> m_encrypted;
    std::vector<std::vector<unsigned char>> m_encryptedSpare;
    bool m_lastQueued = false;
    bool m_done = false; // the writer has finished
    bool m_failed = false;
    QString m_error;
    quint64 m_bytesOut = 0;
    SecretBytes m_key;
    QByteArray m_iv;
    std::thread m_encryptor;
    std::thread m_writer;
};
