#include "core/archive/CipherSource.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 chunkSize = 1 << 20;
constexpr qint64 block = 16;

EVP_CIPHER_CTX* ctxOf(void* p)
{
    return static_cast<EVP_CIPHER_CTX*>(p);
}

} // namespace

CipherSource::CipherSource(int fd, const QByteArray& key, const QByteArray& iv)
    : CipherSource(fd, SecretBytes(key.constData(), size_t(key.size())), iv)
{
}

CipherSource::CipherSource(int fd, const SecretBytes& key, const QByteArray& iv)
    : m_fd(fd)
    , m_iv(iv)
    , m_ctx(EVP_CIPHER_CTX_new())
    , m_cipher(size_t(chunkSize + block))
    , m_plain(size_t(chunkSize + 2 * block))
{
    // The context keeps the expanded key (and cleanses it when freed); each range only sets its IV.
    m_keyed = m_ctx && key.size() == 32 && m_iv.size() == block &&
        EVP_DecryptInit_ex(ctxOf(m_ctx), EVP_aes_256_cbc(), nullptr, key.data(), nullptr) == 1;
}

CipherSource::~CipherSource()
{
    EVP_CIPHER_CTX_free(ctxOf(m_ctx));
}

bool CipherSource::decrypt(qint64 alignedPos, qint64 length, unsigned char* out)
{
    // The cipher block before the range is its IV; block 0 uses the file's IV.
    const qint64 from = alignedPos == 0 ? 0 : alignedPos - block;
    const qint64 want = alignedPos + length - from;
    qint64 got = 0;
    while (got < want) {
        const ssize_t n = ::pread(m_fd, m_cipher.data() + got, size_t(want - got), from + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("unexpected end of file");
            return false;
        }
        got += n;
    }
    const unsigned char* iv =
        alignedPos == 0 ? reinterpret_cast<const unsigned char*>(m_iv.constData()) : m_cipher.data();
    const unsigned char* in = alignedPos == 0 ? m_cipher.data() : m_cipher.data() + block;
    int written = 0;
    if (!m_keyed || EVP_DecryptInit_ex(ctxOf(m_ctx), nullptr, nullptr, nullptr, iv) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctxOf(m_ctx), 0) != 1 ||
        EVP_DecryptUpdate(ctxOf(m_ctx), out, &written, in, int(length)) != 1 || written != length) {
        m_error = QStringLiteral("decryption failed");
        return false;
    }
    return true;
}

CipherSource::Check CipherSource::open(QString* detail)
{
    struct stat st = {};
    if (::fstat(m_fd, &st) != 0) {
        *detail = QString::fromLocal8Bit(std::strerror(errno));
        return Check::unreadable;
    }
    m_cipherSize = st.st_size;
    if (m_cipherSize == 0)
        return Check::empty;
    if (m_cipherSize % block != 0) {
        *detail = QStringLiteral("size %1 is not a multiple of the cipher block").arg(m_cipherSize);
        return Check::unreadable;
    }
    unsigned char last[block];
    if (!decrypt(m_cipherSize - block, block, last)) {
        *detail = m_error;
        return Check::unreadable;
    }
    const int pad = last[block - 1];
    bool padded = pad >= 1 && pad <= block;
    for (int i = block - pad; padded && i < block; ++i)
        padded = last[i] == pad;
    if (!padded) {
        *detail = QStringLiteral("invalid padding");
        return Check::unreadable;
    }
    m_plainSize = m_cipherSize - pad;
    unsigned char first[block];
    if (!decrypt(0, block, first)) {
        *detail = m_error;
        return Check::unreadable;
    }
    static constexpr unsigned char signature[4] = {0x50, 0x4B, 0x03, 0x04};
    if (m_plainSize < 4 || std::memcmp(first, signature, 4) != 0)
        return Check::notZip;
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return Check::ok;
}

bool CipherSource::readExactly(qint64 pos, qint64 length, char* out)
{
    if (pos < 0 || length < 0 || length > chunkSize - 2 * block || pos + length > m_plainSize) {
        m_error = QStringLiteral("range outside the archive");
        return false;
    }
    const qint64 aligned = pos - pos % block;
    const qint64 end = pos + length;
    const qint64 alignedEnd = std::min(end + (block - end % block) % block, m_cipherSize);
    if (!decrypt(aligned, alignedEnd - aligned, m_plain.data()))
        return false;
    std::memcpy(out, m_plain.data() + (pos - aligned), size_t(length));
    return true;
}

qint64 CipherSource::read(qint64 pos, const char** data)
{
    if (pos >= m_plainSize)
        return 0;
    const qint64 aligned = pos - pos % block;
    const qint64 end = std::min(aligned + chunkSize, m_cipherSize);
    if (!decrypt(aligned, end - aligned, m_plain.data()))
        return -1;
    *data = reinterpret_cast<const char*>(m_plain.data()) + (pos - aligned);
    return std::min(end, m_plainSize) - pos;
}
