#include "core/archive/ArchiveHandles.h"

namespace {

QString errorOf(archive* a, const char* fallback)
{
    const char* text = a ? archive_error_string(a) : nullptr;
    return QString::fromUtf8(text ? text : fallback);
}

} // namespace

ZipWriter::ZipWriter()
    : m_archive(archive_write_new())
{
    if (!m_archive) {
        m_error = QStringLiteral("out of memory");
        return;
    }
    if (check(archive_write_set_format_zip(m_archive.get())))
        check(archive_write_set_options(m_archive.get(), "zip:compression=store,zip:hdrcharset=UTF-8"));
    if (m_error.isEmpty())
        check(archive_write_set_bytes_per_block(m_archive.get(), 0));
    if (m_error.isEmpty())
        check(archive_write_set_bytes_in_last_block(m_archive.get(), 1));
}

bool ZipWriter::check(int status)
{
    if (status == ARCHIVE_OK)
        return true;
    if (m_error.isEmpty())
        m_error = errorOf(m_archive.get(), "archive write failed");
    return false;
}

bool ZipWriter::check(la_ssize_t written, size_t expected)
{
    if (written >= 0 && size_t(written) == expected)
        return true;
    if (m_error.isEmpty())
        m_error = errorOf(m_archive.get(), "archive write failed");
    return false;
}

bool ZipWriter::open(void* client, archive_write_callback* write)
{
    return m_error.isEmpty() && check(archive_write_open2(m_archive.get(), client, nullptr, write, nullptr, nullptr));
}

bool ZipWriter::writeHeader(const ArchiveEntry& entry)
{
    return m_error.isEmpty() && check(archive_write_header(m_archive.get(), entry.get()));
}

bool ZipWriter::writeData(const void* data, size_t size)
{
    return m_error.isEmpty() && check(archive_write_data(m_archive.get(), data, size), size);
}

bool ZipWriter::close()
{
    return m_error.isEmpty() && check(archive_write_close(m_archive.get()));
}

ZipReader::ZipReader()
    : m_archive(archive_read_new())
{
    if (!m_archive) {
        m_error = QStringLiteral("out of memory");
        return;
    }
    check(archive_read_support_format_zip_seekable(m_archive.get()));
}

bool ZipReader::check(int status)
{
    if (status == ARCHIVE_OK)
        return true;
    if (m_error.isEmpty())
        m_error = errorOf(m_archive.get(), "archive read failed");
    return false;
}

bool ZipReader::open(void* client, archive_read_callback* read, archive_seek_callback* seek,
                     archive_skip_callback* skip)
{
    if (!m_error.isEmpty())
        return false;
    archive* a = m_archive.get();
    return check(archive_read_set_read_callback(a, read)) && check(archive_read_set_seek_callback(a, seek)) &&
        check(archive_read_set_skip_callback(a, skip)) && check(archive_read_set_callback_data(a, client)) &&
        check(archive_read_open1(a));
}

bool ZipReader::nextHeader(archive_entry** entry, bool* atEnd)
{
    *atEnd = false;
    if (!m_error.isEmpty())
        return false;
    const int status = archive_read_next_header(m_archive.get(), entry);
    if (status == ARCHIVE_EOF) {
        *atEnd = true;
        return false;
    }
    return check(status);
}

int ZipReader::readDataBlock(const void** data, size_t* size, la_int64_t* offset)
{
    if (!m_error.isEmpty())
        return -1;
    const int status = archive_read_data_block(m_archive.get(), data, size, offset);
    if (status == ARCHIVE_EOF)
        return 0;
    return check(status) ? 1 : -1;
}
