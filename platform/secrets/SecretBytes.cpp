#include "platform/secrets/SecretBytes.h"

#include <cstring>
#include <string.h>
#include <utility>

SecretBytes::SecretBytes(size_t size)
    : m_data(size ? std::make_unique<unsigned char[]>(size) : nullptr)
    , m_size(size)
{
}

SecretBytes::SecretBytes(const void* data, size_t size)
    : SecretBytes(size)
{
    if (size)
        std::memcpy(m_data.get(), data, size);
}

SecretBytes::~SecretBytes()
{
    wipe();
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : m_data(std::move(other.m_data))
    , m_size(std::exchange(other.m_size, 0))
{
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        wipe();
        m_data = std::move(other.m_data);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

SecretBytes SecretBytes::fromText(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    SecretBytes result(utf8.constData(), size_t(utf8.size()));
    cleanse(utf8);
    return result;
}

bool SecretBytes::equals(const SecretBytes& other) const
{
    if (m_size != other.m_size)
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < m_size; ++i)
        difference |= m_data[i] ^ other.m_data[i];
    return difference == 0;
}

void SecretBytes::wipe()
{
    if (m_data)
        explicit_bzero(m_data.get(), m_size);
    m_data.reset();
    m_size = 0;
}

void SecretBytes::cleanse(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        explicit_bzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

void SecretBytes::cleanse(QString& text)
{
    if (!text.isEmpty() && text.isDetached())
        explicit_bzero(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}

void SecretBytes::wipeText(QString& text)
{
    // The characters live on the heap, never in read-only data, unless the text is a literal:
    // a literal (no allocated block, capacity 0) is left as it is.
    if (!text.isEmpty() && text.capacity() > 0)
        explicit_bzero(const_cast<QChar*>(text.constData()), size_t(text.size()) * sizeof(QChar));
    text.clear();
}

void SecretBytes::wipeBytes(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.capacity() > 0)
        explicit_bzero(const_cast<char*>(bytes.constData()), size_t(bytes.size()));
    bytes.clear();
}
