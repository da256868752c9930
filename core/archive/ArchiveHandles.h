#pragma once

#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <vector>

// Thin owners of libarchive handles: one method per C verb, every status turned into a bool
// with the handle's own error text kept. A warning counts as failure: on reading it is how
// libarchive reports a CRC-32 mismatch.

class ArchiveEntry
{
public:
    ArchiveEntry()
        : m_entry(archive_entry_new())
    {
    }
    archive_entry* get() const { return m_entry.get(); }

private:
    struct Free
    {
        void operator()(archive_entry* e) const { archive_entry_free(e); }
    };
    std::unique_ptr<archive_entry, Free> m_entry;
};

// A ZIP writer with every entry stored and unbuffered output to the callbacks. An entry's name and
// link target are written byte for byte as the entry holds them (archive_entry_copy_pathname and
// _symlink), never converted or normalized, whatever the process locale.
class ZipWriter
{
public:
    // The longest name a ZIP header can hold, in bytes.
    static constexpr size_t longestName = 0xFFFF;

    ZipWriter();
    bool open(void* client, archive_write_callback* write);
    // utf8: mark the entry's name as UTF-8 (general-purpose flag bit 11); for names that are.
    bool writeHeader(const ArchiveEntry& entry, bool utf8);
    bool writeData(const void* data, size_t size);
    bool close();
    QString errorString() const { return m_error; }

private:
    bool check(int status);
    bool check(la_ssize_t written, size_t expected);

    struct Free
    {
        void operator()(archive* a) const { archive_write_free(a); }
    };
    std::unique_ptr<archive, Free> m_archive;
    QString m_error;
};

// A ZIP reader over seekable callbacks that takes the entries from the central directory.
// libarchive decodes the name (and link target) of an entry whose UTF-8 flag is set into the
// locale's character set and normalizes it to NFC: two names that differ only in their
// normalization would meet, and a locale without UTF-8 refuses them. Without the flag it hands
// the bytes out as stored. So the reader sees every header with the flag cleared, and names and
// link targets come out byte for byte (archive_entry_pathname and archive_entry_symlink).
class ZipReader
{
public:
    ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;
    // utf8FlagBytes: the offsets of the bytes that hold a header's UTF-8 flag, in the local
    // headers and the central directory (ZipHeaderCheck finds them).
    bool open(void* client, archive_read_callback* read, archive_seek_callback* seek, archive_skip_callback* skip,
              std::vector<qint64> utf8FlagBytes);
    // True with an entry, false at the end (atEnd) or on failure.
    bool nextHeader(archive_entry** entry, bool* atEnd);
    // Returns 1 with a block, 0 at the entry's end, -1 on failure (CRC-32 mismatch included).
    int readDataBlock(const void** data, size_t* size, la_int64_t* offset);
    QString errorString() const { return m_error; }

private:
    bool check(int status);
    static la_ssize_t readThrough(archive* a, void* self, const void** buffer);
    static la_int64_t seekThrough(archive* a, void* self, la_int64_t offset, int whence);
    static la_int64_t skipThrough(archive* a, void* self, la_int64_t request);

    struct Free
    {
        void operator()(archive* a) const { archive_read_free(a); }
    };
    std::unique_ptr<archive, Free> m_archive;
    QString m_error;
    void* m_client = nullptr;
    archive_read_callback* m_read = nullptr;
    archive_seek_callback* m_seek = nullptr;
    archive_skip_callback* m_skip = nullptr;
    la_int64_t m_position = 0;
    // Offsets of the bytes that hold the UTF-8 flag of a local or central header, ascending.
    std::vector<qint64> m_flagBytes;
    std::vector<char> m_patched;
};
