#include "core/archive/CipherSink.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr size_t queueDepth = 4;

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
    m_worker = std::thread([this] { run(); });
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
    m_worker.join();
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

void CipherSink::run()
{
    // The context keeps the expanded key and cleanses it when freed; the copy here goes at once.
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || m_key.size() != 32 || m_iv.size() != 16 ||
        EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, m_key.data(),
                           reinterpret_cast<const unsigned char*>(m_iv.constData())) != 1)
        setError(QStringLiteral("cipher setup failed"));
    m_key.wipe();
    std::vector<unsigned char> out(chunkSize + 16);
    for (;;) {
        std::vector<char> chunk;
        bool last = false;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_lastQueued; });
            if (m_failed || m_queue.empty()) {
                m_done = true;
                m_changed.notify_all();
                return;
            }
            chunk = std::move(m_queue.front());
            m_queue.pop_front();
            last = m_lastQueued && m_queue.empty();
        }
        m_changed.notify_all();
        if (out.size() < chunk.size() + 16)
            out.resize(chunk.size() + 16);
        int n = 0;
        int tail = 0;
        QString error;
        bool ok = EVP_EncryptUpdate(ctx.get(), out.data(), &n, reinterpret_cast<const unsigned char*>(chunk.data()),
                                    int(chunk.size())) == 1;
        if (ok && last)
            ok = EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail) == 1;
        if (!ok)
            error = QStringLiteral("encryption failed");
        else if (writeAll(m_fd, out.data(), size_t(n + tail), &error))
            m_bytesOut += quint64(n + tail);
        {
            std::lock_guard lock(m_mutex);
            m_spare.push_back(std::move(chunk));
        }
        if (!error.isEmpty()) {
            setError(error);
            std::lock_guard lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
            return;
        }
        if (last) {
            std::lock_guard lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
            return;
        }
    }
}
