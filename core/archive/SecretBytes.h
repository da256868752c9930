#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

// Key material: a fixed-size byte buffer that is never shared or copied implicitly and is
// cleansed before its memory is released.
class SecretBytes
{
public:
    SecretBytes() = default;
    explicit SecretBytes(size_t size);
    SecretBytes(const void* data, size_t size);
    ~SecretBytes();
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    unsigned char* data() { return m_data.get(); }
    const unsigned char* data() const { return m_data.get(); }
    size_t size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Overwrites the bytes and frees them.
    void wipe();

    // Cleanses a byte array that this code alone holds (a shared one is left to its other owners).
    static void cleanse(QByteArray& bytes);

private:
    std::unique_ptr<unsigned char[]> m_data;
    size_t m_size = 0;
};
