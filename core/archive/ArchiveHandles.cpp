#include "core/archive/ArchiveHandles.h"

#include <algorithm>
#include <cstring>
#include <locale.h>

namespace {

QString errorOf(archive* a, const char* fallback)
{
    const char* text = a ? archive_error_string(a) : nullptr;
    return QString::fromUtf8(text ? text : fallback);
}

// Without a "hdrcharset" libarchive's ZIP writer stores a name's bytes as they are (with one it
// converts and normalizes them, and crashes on bytes that are no UTF-8), and it marks a non-ASCII
// name UTF-8 when the calling thread's locale uses UTF-8. So the thread takes the locale that
// gives the flag wanted for the length of the call.
locale_t localeFor(bool utf8)
{
    static const locale_t unicode = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
        return l ? l : ::newlocale(LC_CTYPE_MASK, "C.utf8", locale_t(nullptr));
    }();
    static const locale_t plain = ::newlocale(LC_CTYPE_MASK, "C", locale_t(nullptr));
    return utf8 ? unicode : plain;
}

class ThreadLocale
{
public:
    explicit ThreadLocale(locale_t locale)
        : m_previous(locale ? ::uselocale(locale) : locale_t(nullptr))
    {
    }
    ~ThreadLocale()
    {
        if (m_previous)
            ::uselocale(m_previous);
    }
    ThreadLocale(const ThreadLocale&) = delete;
    ThreadLocale& operator=(const ThreadLocale&) = delete;

private:
    locale_t m_previous;
};

// The UTF-8 flag (general-purpose bit 11) in the high byte of a header's flags.
constexpr char utf8FlagInHighByte = 0x08;

} // namespace

ZipWriter::ZipWriter()
    : m_archive(archive_write_new())
{
    if (!m_archive) {
        m_error = QStringLiteral("out of memory");
        return;
    }
    if (check(archive_write_set_format_zip(m_archive.get())))
        check(archive_write_set_options(m_archive.get(), "zip:compression=store"));
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

bool ZipWriter::writeHeader(const ArchiveEntry& entry, bool utf8)
{
    if (!m_error.isEmpty())
        return false;
    // The writer would cut the length field of a longer name and store a name no reader finds.
    const char* name = archive_entry_pathname(entry.get());
    const size_t length = name ? std::strlen(name) : 0;
    const bool slashAdded = archive_entry_filetype(entry.get()) == AE_IFDIR && (length == 0 || name[length - 1] != '/');
    if (!name || length + (slashAdded ? 1 : 0) > longestName) {
        m_error = QStringLiteral("entry name too long for a ZIP header");
        return false;
    }
    const ThreadLocale locale(localeFor(utf8));
    return check(archive_write_header(m_archive.get(), entry.get()));
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
                     archive_skip_callback* skip, std::vector<qint64> utf8FlagBytes)
{
    if (!m_error.isEmpty())
        return false;
    m_client = client;
    m_read = read;
    m_seek = seek;
    m_skip = skip;
    m_flagBytes = std::move(utf8FlagBytes);
    std::sort(m_flagBytes.begin(), m_flagBytes.end());
    if (m_seek(m_archive.get(), m_client, 0, SEEK_SET) != 0) {
        m_error = QStringLiteral("cannot seek to the archive's start");
        return false;
    }
    m_position = 0;
    archive* a = m_archive.get();
    return check(archive_read_set_read_callback(a, &readThrough)) &&
        check(archive_read_set_seek_callback(a, &seekThrough)) &&
        check(archive_read_set_skip_callback(a, &skipThrough)) && check(archive_read_set_callback_data(a, this)) &&
        check(archive_read_open1(a));
}

la_ssize_t ZipReader::readThrough(archive* a, void* self, const void** buffer)
{
    auto* reader = static_cast<ZipReader*>(self);
    const la_ssize_t n = reader->m_read(a, reader->m_client, buffer);
    if (n <= 0)
        return n;
    const la_int64_t begin = reader->m_position;
    reader->m_position += n;
    auto flag = std::lower_bound(reader->m_flagBytes.begin(), reader->m_flagBytes.end(), begin);
    if (flag == reader->m_flagBytes.end() || *flag >= reader->m_position)
        return n;
    const char* data = static_cast<const char*>(*buffer);
    reader->m_patched.assign(data, data + n);
    for (; flag != reader->m_flagBytes.end() && *flag < reader->m_position; ++flag)
        reader->m_patched[size_t(*flag - begin)] &= char(~utf8FlagInHighByte);
    *buffer = reader->m_patched.data();
    return n;
}

la_int64_t ZipReader::seekThrough(archive* a, void* self, la_int64_t offset, int whence)
{
    auto* reader = static_cast<ZipReader*>(self);
    const la_int64_t position = reader->m_seek(a, reader->m_client, offset, whence);
    if (position >= 0)
        reader->m_position = position;
    return position;
}

la_int64_t ZipReader::skipThrough(archive* a, void* self, la_int64_t request)
{
    auto* reader = static_cast<ZipReader*>(self);
    const la_int64_t skipped = reader->m_skip(a, reader->m_client, request);
    if (skipped > 0)
        reader->m_position += skipped;
    return skipped;
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
