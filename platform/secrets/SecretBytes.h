#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <memory>

// Key material and secret text: a fixed-size byte buffer that is never shared or copied implicitly
// and is cleansed before its memory is released. Secret text is held as its UTF-8 bytes.
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

    // The UTF-8 bytes of a text; the conversion's own buffer is cleansed. The text is left alone.
    static SecretBytes fromText(const QString& text);

    unsigned char* data() { return m_data.get(); }
    const unsigned char* data() const { return m_data.get(); }
    const char* chars() const { return reinterpret_cast<const char*>(m_data.get()); }
    size_t size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Same bytes, in a time that does not depend on where they differ.
    bool equals(const SecretBytes& other) const;
    // Overwrites the bytes and frees them.
    void wipe();

    // Cleanses a byte array that this code alone holds (a shared one is left to its other owners).
    static void cleanse(QByteArray& bytes);
    // The same for a text: the last holder of secret text lets go of it this way.
    static void cleanse(QString& text);
    // Overwrites the characters of a text where they are, for every copy that shares them, and
    // empties this copy. For secret text at the end of its use: the other copies read as zeros.
    static void wipeText(QString& text);
    // The same for bytes.
    static void wipeBytes(QByteArray& bytes);

private:
    std::unique_ptr<unsigned char[]> m_data;
    size_t m_size = 0;
};

// One secret handed between threads and queued calls without copying its bytes.
using SharedSecret = std::shared_ptr<const SecretBytes>;
