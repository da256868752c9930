#pragma once

#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

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

// A ZIP writer with every entry stored, UTF-8 names, and unbuffered output to the callbacks.
class ZipWriter
{
public:
    ZipWriter();
    bool open(void* client, archive_write_callback* write);
    bool writeHeader(const ArchiveEntry& entry);
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
class ZipReader
{
public:
    ZipReader();
    bool open(void* client, archive_read_callback* read, archive_seek_callback* seek, archive_skip_callback* skip);
    // True with an entry, false at the end (atEnd) or on failure.
    bool nextHeader(archive_entry** entry, bool* atEnd);
    // Returns 1 with a block, 0 at the entry's end, -1 on failure (CRC-32 mismatch included).
    int readDataBlock(const void** data, size_t* size, la_int64_t* offset);
    QString errorString() const { return m_error; }

private:
    bool check(int status);

    struct Free
    {
        void operator()(archive* a) const { archive_read_free(a); }
    };
    std::unique_ptr<archive, Free> m_archive;
    QString m_error;
};
