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
// bytes are gathered in fixed chunks that a second thread encrypts and writes, so packing
// and encryption overlap and memory stays bounded by a few chunks.
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
    void run();
    bool hand(std::vector<char>&& chunk, bool last);
    void setError(const QString& error);

    int m_fd;
    std::vector<char> m_current;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<char>> m_queue;
    std::vector<std::vector<char>> m_spare;
    bool m_lastQueued = false;
    bool m_done = false;
    bool m_failed = false;
    QString m_error;
    quint64 m_bytesOut = 0;
    SecretBytes m_key;
    QByteArray m_iv;
    std::thread m_worker;
};
