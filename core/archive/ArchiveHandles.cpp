#include "core/archive/ArchiveHandles.h"

#include <algorithm>
#include <cstdio>
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

quint64 le(const char* p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
}

constexpr quint16 utf8Flag = 0x0800;
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
                     archive_skip_callback* skip)
{
    if (!m_error.isEmpty())
        return false;
    m_client = client;
    m_read = read;
    m_seek = seek;
    m_skip = skip;
    if (!findNameFlags()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("cannot read the central directory");
        return false;
    }
    archive* a = m_archive.get();
    return check(archive_read_set_read_callback(a, &readThrough)) &&
        check(archive_read_set_seek_callback(a, &seekThrough)) &&
        check(archive_read_set_skip_callback(a, &skipThrough)) && check(archive_read_set_callback_data(a, this)) &&
        check(archive_read_open1(a));
}

bool ZipReader::readAt(la_int64_t position, la_int64_t length, std::vector<char>* out)
{
    out->clear();
    if (position < 0 || length < 0 || m_seek(m_archive.get(), m_client, position, SEEK_SET) != position)
        return false;
    m_position = position;
    while (la_int64_t(out->size()) < length) {
        const void* data = nullptr;
        const la_ssize_t n = m_read(m_archive.get(), m_client, &data);
        if (n <= 0)
            return false;
        m_position += n;
        const la_int64_t take = std::min<la_int64_t>(n, length - la_int64_t(out->size()));
        out->insert(out->end(), static_cast<const char*>(data), static_cast<const char*>(data) + take);
    }
    return true;
}

// libarchive decodes the name (and link target) of an entry whose UTF-8 flag is set into the
// locale's character set and normalizes it to NFC: two names that differ only in their
// normalization would meet, and a locale without UTF-8 refuses them. Without the flag it hands
// the bytes out as stored. So the reader sees every header with the flag cleared; this finds
// the bytes that hold it, in the central directory and in the local header of every entry.
bool ZipReader::findNameFlags()
{
    constexpr la_int64_t endSize = 22;
    const la_int64_t size = m_seek(m_archive.get(), m_client, 0, SEEK_END);
    if (size < endSize)
        return false;
    const la_int64_t tailLength = std::min<la_int64_t>(size, endSize + 0xFFFF);
    std::vector<char> tail;
    if (!readAt(size - tailLength, tailLength, &tail))
        return false;
    la_int64_t at = -1;
    for (la_int64_t i = tailLength - endSize; i >= 0; --i) {
        if (le(tail.data() + i, 4) == 0x06054b50 &&
            i + endSize + la_int64_t(le(tail.data() + i + 20, 2)) <= tailLength) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return false;
    const char* end = tail.data() + at;
    const la_int64_t endPos = size - tailLength + at;
    quint64 entries = le(end + 10, 2);
    quint64 directorySize = le(end + 12, 4);
    quint64 directoryOffset = le(end + 16, 4);
    if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        std::vector<char> locator;
        std::vector<char> end64;
        if (!readAt(endPos - 20, 20, &locator) || le(locator.data(), 4) != 0x07064b50)
            return false;
        const quint64 end64Pos = le(locator.data() + 8, 8);
        if (end64Pos > quint64(size) || !readAt(la_int64_t(end64Pos), 56, &end64) || le(end64.data(), 4) != 0x06064b50)
            return false;
        entries = le(end64.data() + 32, 8);
        directorySize = le(end64.data() + 40, 8);
        directoryOffset = le(end64.data() + 48, 8);
    }
    std::vector<char> directory;
    if (directoryOffset > quint64(size) || directorySize > quint64(size) - directoryOffset ||
        !readAt(la_int64_t(directoryOffset), la_int64_t(directorySize), &directory))
        return false;
    m_flagBytes.clear();
    const la_int64_t length = la_int64_t(directory.size());
    la_int64_t pos = 0;
    for (quint64 n = 0; n < entries && pos + 46 <= length; ++n) {
        const char* header = directory.data() + pos;
        if (le(header, 4) != 0x02014b50)
            return false;
        const la_int64_t nameLength = la_int64_t(le(header + 28, 2));
        const la_int64_t extraLength = la_int64_t(le(header + 30, 2));
        const la_int64_t next = pos + 46 + nameLength + extraLength + la_int64_t(le(header + 32, 2));
        if (next > length)
            return false;
        if (le(header + 8, 2) & utf8Flag)
            m_flagBytes.push_back(la_int64_t(directoryOffset) + pos + 9);
        quint64 offset = le(header + 42, 4);
        if (offset == 0xFFFFFFFF) {
            // The ZIP64 field holds the saturated sizes first, then the offset.
            const char* extra = header + 46 + nameLength;
            for (la_int64_t e = 0; e + 4 <= extraLength;) {
                const la_int64_t fieldLength = la_int64_t(le(extra + e + 2, 2));
                if (e + 4 + fieldLength > extraLength)
                    break;
                if (le(extra + e, 2) == 0x0001) {
                    la_int64_t skip =
                        (le(header + 24, 4) == 0xFFFFFFFF ? 8 : 0) + (le(header + 20, 4) == 0xFFFFFFFF ? 8 : 0);
                    if (skip + 8 <= fieldLength)
                        offset = le(extra + e + 4 + skip, 8);
                    break;
                }
                e += 4 + fieldLength;
            }
        }
        if (offset <= quint64(size) - 8)
            m_flagBytes.push_back(la_int64_t(offset) + 7);
        pos = next;
    }
    std::sort(m_flagBytes.begin(), m_flagBytes.end());
    m_flagBytes.erase(std::unique(m_flagBytes.begin(), m_flagBytes.end()), m_flagBytes.end());
    if (m_seek(m_archive.get(), m_client, 0, SEEK_SET) != 0)
        return false;
    m_position = 0;
    return true;
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
