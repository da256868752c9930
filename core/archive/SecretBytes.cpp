#include "core/archive/SecretBytes.h"

#include <openssl/crypto.h>

#include <cstring>
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

void SecretBytes::wipe()
{
    if (m_data)
        OPENSSL_cleanse(m_data.get(), m_size);
    m_data.reset();
    m_size = 0;
}

void SecretBytes::cleanse(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}
