#include "core/archive/CipherSink.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr size_t queueDepth = 4;
constexpr off_t writeBackStep = 8 << 20;

bool writeAll(int fd, const unsigned char* data, size_t size, QString* error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

} // namespace

CipherSink::CipherSink(int fd, const QByteArray& key, const QByteArray& iv)
    : CipherSink(fd, SecretBytes(key.constData(), size_t(key.size())), iv)
{
}

CipherSink::CipherSink(int fd, const SecretBytes& key, const QByteArray& iv)
    : m_fd(fd)
    , m_key(key.data(), key.size())
    , m_iv(iv)
{
    m_current.reserve(chunkSize);
    m_encryptor = std::thread([this] { encryptLoop(); });
    m_writer = std::thread([this] { writeLoop(); });
}

CipherSink::~CipherSink()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_lastQueued) {
            m_failed = true;
            m_lastQueued = true;
        }
    }
    m_changed.notify_all();
    m_encryptor.join();
    m_writer.join();
}

bool CipherSink::write(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const size_t n = std::min(size, chunkSize - m_current.size());
        m_current.insert(m_current.end(), p, p + n);
        p += n;
        size -= n;
        if (m_current.size() == chunkSize) {
            std::vector<char> next;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_failed || m_queue.size() < queueDepth; });
                if (m_failed)
                    return false;
                if (!m_spare.empty()) {
                    next = std::move(m_spare.back());
                    m_spare.pop_back();
                }
            }
            next.clear();
            next.reserve(chunkSize);
            if (!hand(std::exchange(m_current, std::move(next)), false))
                return false;
        }
    }
    std::lock_guard lock(m_mutex);
    return !m_failed;
}

bool CipherSink::finish()
{
    if (!hand(std::move(m_current), true))
        return false;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_done; });
    return !m_failed;
}

QString CipherSink::errorString() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool CipherSink::hand(std::vector<char>&& chunk, bool last)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_failed || m_lastQueued)
            return false;
        m_queue.push_back(std::move(chunk));
        m_lastQueued = last;
    }
    m_changed.notify_all();
    return true;
}

void CipherSink::setError(const QString& error)
{
    {
        std::lock_guard lock(m_mutex);
        m_failed = true;
        if (m_error.isEmpty())
            m_error = error;
    }
    m_changed.notify_all();
}

void CipherSink::encryptLoop()
{
    // The context keeps the expanded key and cleanses it when freed; the copy here goes at once.
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || m_key.size() != 32 || m_iv.size() != 16 ||
        EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, m_key.data(),
                           reinterpret_cast<const unsigned char*>(m_iv.constData())) != 1)
        setError(QStringLiteral("cipher setup failed"));
    m_key.wipe();
    for (;;) {
        std::vector<char> chunk;
        std::vector<unsigned char> out;
        bool last = false;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_failed || !m_queue.empty(); });
            if (m_failed)
                return;
            chunk = std::move(m_queue.front());
            m_queue.pop_front();
            last = m_lastQueued && m_queue.empty();
            if (!m_encryptedSpare.empty()) {
                out = std::move(m_encryptedSpare.back());
                m_encryptedSpare.pop_back();
            }
        }
        m_changed.notify_all();
        out.resize(chunk.size() + 16);
        int n = 0;
        int tail = 0;
        bool ok = EVP_EncryptUpdate(ctx.get(), out.data(), &n, reinterpret_cast<const unsigned char*>(chunk.data()),
                                    int(chunk.size())) == 1;
        if (ok && last)
            ok = EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail) == 1;
        if (!ok) {
            setError(QStringLiteral("encryption failed"));
            return;
        }
        out.resize(size_t(n + tail));
        {
            std::unique_lock lock(m_mutex);
            m_spare.push_back(std::move(chunk));
            m_changed.wait(lock, [this] { return m_failed || m_encrypted.size() < queueDepth; });
            if (m_failed)
                return;
            m_encrypted.push_back({std::move(out), last});
        }
        m_changed.notify_all();
        if (last)
            return;
    }
}

void CipherSink::writeLoop()
{
    off_t written = 0;
    off_t flushed = 0;
    for (;;) {
        Encrypted block;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_failed || !m_encrypted.empty(); });
            if (m_failed) {
                m_done = true;
                m_changed.notify_all();
                return;
            }
            block = std::move(m_encrypted.front());
            m_encrypted.pop_front();
        }
        m_changed.notify_all();
        QString error;
        if (!writeAll(m_fd, block.bytes.data(), block.bytes.size(), &error)) {
            setError(error);
            std::lock_guard lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
            return;
        }
        written += off_t(block.bytes.size());
        m_bytesOut += block.bytes.size();
        if (written - flushed >= writeBackStep) {
            // Only starts the write-back; errors show in the caller's fsync.
            ::sync_file_range(m_fd, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
            flushed = written;
        }
        std::lock_guard lock(m_mutex);
        m_encryptedSpare.push_back(std::move(block.bytes));
        if (block.last) {
            m_done = true;
            m_changed.notify_all();
            return;
        }
    }
}
