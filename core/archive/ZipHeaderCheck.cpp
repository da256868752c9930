#include "core/archive/ZipHeaderCheck.h"

#include "core/archive/CipherSource.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace {

constexpr quint32 localSignature = 0x04034b50;
constexpr quint32 centralSignature = 0x02014b50;
constexpr quint32 descriptorSignature = 0x08074b50;
constexpr quint32 endSignature = 0x06054b50;
constexpr quint32 end64LocatorSignature = 0x07064b50;
constexpr quint32 end64Signature = 0x06064b50;
constexpr qint64 endSize = 22;
constexpr qint64 end64LocatorSize = 20;
constexpr qint64 end64Size = 56;
constexpr qint64 centralSize = 46;
constexpr qint64 localSize = 30;
constexpr qint64 piece = 256 * 1024;
constexpr quint32 saturated = 0xFFFFFFFF;
constexpr quint16 zip64ExtraId = 0x0001;
constexpr quint16 extendedLocalId = 0x6c78; // "xl": version made by and attributes in the local header
constexpr quint16 lengthAtEnd = 0x0008; // CRC-32 and sizes follow the data in a data descriptor
constexpr quint16 utf8Flag = 0x0800; // the name and link target are UTF-8
constexpr int hostUnix = 3;
constexpr int hostDos = 0;
constexpr quint32 dosDirectory = 0x10;
constexpr qint64 longestLinkTarget = 64 * 1024;
constexpr qint64 endSearch = 16 * 1024; // libarchive looks for the end record in the last 16 KiB only
constexpr quint16 methodStored = 0;
// What libarchive's writer puts in "version needed to extract": 1.0 for a stored file, 2.0 for a
// link or a folder.
constexpr quint16 versionOfLinksAndFolders = 20;

quint64 le(const char* p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
}

quint32 crc32Of(const QByteArray& bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t = {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

class Reader
{
public:
    explicit Reader(CipherSource& source)
        : m_source(source)
    {
    }

    bool read(qint64 pos, qint64 length, QByteArray* out)
    {
        if (pos < 0 || length < 0 || pos > m_source.plainSize() || length > m_source.plainSize() - pos)
            return false;
        out->resize(length);
        for (qint64 done = 0; done < length; done += piece) {
            if (!m_source.readExactly(pos + done, std::min(piece, length - done), out->data() + done))
                return false;
        }
        return true;
    }

private:
    CipherSource& m_source;
};

bool hasNul(const char* name, qint64 length)
{
    return std::memchr(name, 0, size_t(length)) != nullptr;
}

QString printable(const char* name, qint64 length)
{
    return QString::fromUtf8(name, qsizetype(std::min<qint64>(length, qint64(qstrnlen(name, size_t(length))))));
}

// One field of an extra block, or nullptr.
const char* findExtra(const char* extra, qint64 length, quint16 id, qint64* fieldLength)
{
    for (qint64 e = 0; e + 4 <= length;) {
        const quint64 fieldId = le(extra + e, 2);
        const qint64 size = qint64(le(extra + e + 2, 2));
        if (e + 4 + size > length)
            return nullptr;
        if (fieldId == id) {
            *fieldLength = size;
            return extra + e + 4;
        }
        e += 4 + size;
    }
    return nullptr;
}

enum class Kind { file, directory, link, other };

// The type libarchive gives an entry: the Unix mode's type where the host is Unix, the DOS folder
// bit where it is DOS, and a folder for a name ending in '/' where that says nothing. FIFOs,
// sockets, devices and types no file system knows are "other".
Kind kindOf(int host, quint32 attributes, const QByteArray& name)
{
    const quint32 mode = attributes >> 16;
    if (host == hostUnix && (mode & 0170000) != 0) {
        switch (mode & 0170000) {
        case 0100000:
            return Kind::file;
        case 0040000:
            return Kind::directory;
        case 0120000:
            return Kind::link;
        default:
            return Kind::other;
        }
    }
    if ((host == hostDos && (attributes & dosDirectory)) || name.endsWith('/'))
        return Kind::directory;
    return Kind::file;
}

struct Record
{
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint64 compressed = 0;
    quint64 uncompressed = 0;
    bool zip64 = false;
};

// Takes the sizes a ZIP64 extra field holds for the saturated fields of a header: the sizes
// in this order, then, in the central directory, the local header's offset.
bool applyZip64(const char* extra, qint64 extraLength, Record* record, quint64* offset)
{
    const bool wantUncompressed = record->uncompressed == saturated;
    const bool wantCompressed = record->compressed == saturated;
    const bool wantOffset = offset && *offset == saturated;
    qint64 length = 0;
    const char* field = findExtra(extra, extraLength, zip64ExtraId, &length);
    if (!field)
        return !wantUncompressed && !wantCompressed && !wantOffset;
    record->zip64 = true;
    qint64 at = 0;
    for (auto [wanted, target] : {std::pair{wantUncompressed, &record->uncompressed},
                                  std::pair{wantCompressed, &record->compressed}, std::pair{wantOffset, offset}}) {
        if (!wanted)
            continue;
        if (at + 8 > length)
            return false;
        *target = le(field + at, 8);
        at += 8;
    }
    return true;
}

// The data descriptor after an entry's data: with or without its signature, with 4-byte sizes
// or ZIP64's 8-byte ones. True when one reading of it agrees with the central directory.
bool descriptorAgrees(const QByteArray& bytes, const Record& central)
{
    for (const qint64 start : {qint64(4), qint64(0)}) {
        if (start == 4 && (bytes.size() < 4 || le(bytes.constData(), 4) != descriptorSignature))
            continue;
        for (const int width : {4, 8}) {
            if (start + 4 + 2 * width > bytes.size())
                continue;
            const char* p = bytes.constData() + start;
            if (le(p, 4) == central.crc && le(p + 4, width) == central.compressed &&
                le(p + 4 + width, width) == central.uncompressed)
                return true;
        }
    }
    return false;
}

// Where libarchive reads the central directory, and what it reads there.
struct Directory
{
    qint64 offset = 0;
    qint64 size = 0;
    quint64 entries = 0;
};

// Finds the central directory as libarchive's seekable reader does: the last end record
// signature in the last 16 KiB; a ZIP64 locator right before it that passes libarchive's checks
// wins, and libarchive reads the directory at the offset its record declares; else the end record
// must pass them, and libarchive reads the directory at the end record's position minus the
// directory's size, whatever offset the record declares. An archive that declares its directory
// anywhere else, in either record, is refused: the directory checked here must be the one
// libarchive unpacks.
bool findDirectory(Reader& reader, qint64 size, Directory* found, QString* error)
{
    const auto bad = [error](const QString& reason) {
        *error = reason;
        return false;
    };
    const qint64 tailLength = std::min(size, endSearch);
    QByteArray tail;
    if (!reader.read(size - tailLength, tailLength, &tail))
        return bad(QStringLiteral("cannot read the end of the archive"));
    qint64 at = -1;
    for (qint64 i = tailLength - endSize; i >= 0; --i) {
        if (le(tail.constData() + i, 4) == endSignature) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return bad(QStringLiteral("no end of central directory record"));
    const char* end = tail.constData() + at;
    const qint64 endPos = size - tailLength + at;
    if (at + endSize + qint64(le(end + 20, 2)) > tailLength)
        return bad(QStringLiteral("the end record's comment runs past the archive"));
    const quint64 entries = le(end + 10, 2);
    const quint64 directorySize = le(end + 12, 4);
    const quint64 directoryOffset = le(end + 16, 4);
    const bool endUsable = le(end + 4, 2) == 0 && le(end + 6, 2) == 0 && le(end + 8, 2) == entries &&
        directoryOffset + directorySize <= quint64(endPos);

    QByteArray locator;
    if (at >= end64LocatorSize && reader.read(endPos - end64LocatorSize, end64LocatorSize, &locator) &&
        le(locator.constData(), 4) == end64LocatorSignature && le(locator.constData() + 4, 4) == 0 &&
        le(locator.constData() + 16, 4) == 1) {
        const quint64 end64Pos = le(locator.constData() + 8, 8);
        QByteArray end64;
        if (end64Pos <= quint64(size) && reader.read(qint64(end64Pos), end64Size, &end64)) {
            const quint64 recordSize = le(end64.constData() + 4, 8) + 12;
            const char* r = end64.constData();
            if (recordSize >= quint64(end64Size) && recordSize <= 16384 && recordSize <= quint64(size) - end64Pos &&
                le(r + 16, 4) == 0 && le(r + 20, 4) == 0 && le(r + 24, 8) == le(r + 32, 8)) {
                // libarchive takes this record's offset as it stands.
                if (le(r, 4) != end64Signature)
                    return bad(QStringLiteral("no ZIP64 end of central directory record"));
                found->entries = le(r + 32, 8);
                const quint64 size64 = le(r + 40, 8);
                const quint64 offset64 = le(r + 48, 8);
                if (size64 > end64Pos || offset64 != end64Pos - size64)
                    return bad(QStringLiteral("the ZIP64 end record declares the central directory elsewhere"));
                // What the end record gives besides must be the same directory.
                if ((directoryOffset != saturated && directoryOffset != offset64) ||
                    (directorySize != saturated && directorySize != size64) ||
                    (entries != 0xFFFF && entries != found->entries))
                    return bad(QStringLiteral("the two end records declare different central directories"));
                found->offset = qint64(offset64);
                found->size = qint64(size64);
                return true;
            }
        }
    }
    if (!endUsable)
        return bad(QStringLiteral("no usable end of central directory record"));
    if (directoryOffset != quint64(endPos) - directorySize)
        return bad(QStringLiteral("the end record declares the central directory elsewhere"));
    found->entries = entries;
    found->offset = qint64(directoryOffset);
    found->size = qint64(directorySize);
    return true;
}

} // namespace

bool ZipHeaderCheck::headersAgree(CipherSource& source, QString* error, QList<Entry>* checked,
                                  std::vector<qint64>* utf8FlagBytes)
{
    Reader reader(source);
    const qint64 size = source.plainSize();
    const auto bad = [error](const QString& reason) {
        *error = reason;
        return false;
    };

    Directory found;
    if (!findDirectory(reader, size, &found, error))
        return false;
    QByteArray directory;
    if (!reader.read(found.offset, found.size, &directory))
        return bad(QStringLiteral("central directory outside the archive"));

    // By local header offset: the order in which libarchive hands the entries out.
    std::map<quint64, Entry> byOffset;
    std::vector<qint64> flagBytes;
    qint64 pos = 0;
    QByteArray local;
    QByteArray bytes;
    for (quint64 n = 0; n < found.entries; ++n) {
        if (pos + centralSize > directory.size() || le(directory.constData() + pos, 4) != centralSignature)
            return bad(QStringLiteral("damaged central directory"));
        const char* header = directory.constData() + pos;
        const qint64 nameLength = qint64(le(header + 28, 2));
        const qint64 extraLength = qint64(le(header + 30, 2));
        const qint64 commentLength = qint64(le(header + 32, 2));
        const qint64 next = pos + centralSize + nameLength + extraLength + commentLength;
        if (next > directory.size())
            return bad(QStringLiteral("damaged central directory"));
        const char* namePtr = header + centralSize;
        if (hasNul(namePtr, nameLength))
            return bad(QStringLiteral("entry name with a NUL byte: ") + printable(namePtr, nameLength));
        const QByteArray name(namePtr, nameLength);
        const QString shown = QString::fromUtf8(name);

        Record central;
        central.flags = quint16(le(header + 8, 2));
        central.method = quint16(le(header + 10, 2));
        central.crc = quint32(le(header + 16, 4));
        central.compressed = le(header + 20, 4);
        central.uncompressed = le(header + 24, 4);
        quint64 offset = le(header + 42, 4);
        if (!applyZip64(namePtr + nameLength, extraLength, &central, &offset))
            return bad(QStringLiteral("damaged ZIP64 extra field: ") + shown);
        const Kind centralKind = kindOf(int(le(header + 5, 1)), quint32(le(header + 38, 4)), name);

        if (offset > quint64(size) ||
            !reader.read(qint64(offset), std::min<qint64>(localSize, size - qint64(offset)), &local) ||
            local.size() < localSize || le(local.constData(), 4) != localSignature)
            return bad(QStringLiteral("damaged local header: ") + shown);
        const qint64 localNameLength = qint64(le(local.constData() + 26, 2));
        const qint64 localExtraLength = qint64(le(local.constData() + 28, 2));
        Record inLocal;
        const quint16 versionNeeded = quint16(le(local.constData() + 4, 2));
        inLocal.flags = quint16(le(local.constData() + 6, 2));
        inLocal.method = quint16(le(local.constData() + 8, 2));
        inLocal.crc = quint32(le(local.constData() + 14, 4));
        inLocal.compressed = le(local.constData() + 18, 4);
        inLocal.uncompressed = le(local.constData() + 22, 4);
        if (!reader.read(qint64(offset) + localSize, localNameLength + localExtraLength, &local))
            return bad(QStringLiteral("damaged local header: ") + shown);
        if (hasNul(local.constData(), localNameLength))
            return bad(QStringLiteral("entry name with a NUL byte: ") + printable(local.constData(), localNameLength));
        if (QByteArrayView(local.constData(), localNameLength) != name)
            return bad(QStringLiteral("the local header names another entry: ") + shown + QStringLiteral(" / ") +
                       QString::fromUtf8(local.constData(), localNameLength));
        const char* localExtra = local.constData() + localNameLength;
        if (!applyZip64(localExtra, localExtraLength, &inLocal, nullptr))
            return bad(QStringLiteral("damaged ZIP64 extra field: ") + shown);

        // The local header tells a folder by its name, and the full type where it carries the attributes.
        Kind localKind = name.endsWith('/')  ? Kind::directory
            : centralKind == Kind::directory ? Kind::file
                                             : centralKind;
        qint64 xlLength = 0;
        if (const char* xl = findExtra(localExtra, localExtraLength, extendedLocalId, &xlLength); xl && xlLength >= 1) {
            const quint8 present = quint8(xl[0]);
            qint64 field = 1;
            int host = -1;
            if (present & 1) {
                host = field + 2 <= xlLength ? int(le(xl + field + 1, 1)) : -1;
                field += 2;
            }
            if (present & 2)
                field += 2;
            if ((present & 4) && host >= 0 && field + 4 <= xlLength)
                localKind = kindOf(host, quint32(le(xl + field, 4)), name);
        }
        if (localKind != centralKind)
            return bad(QStringLiteral("the local header gives another type: ") + shown);
        if (inLocal.method != central.method)
            return bad(QStringLiteral("the local header gives another method: ") + shown);

        // Without a data descriptor the local header's CRC-32 and sizes are the entry's own;
        // with one, the local header may leave them 0 and the descriptor carries them.
        const bool atEnd = inLocal.flags & lengthAtEnd;
        const auto agrees = [atEnd](quint64 local, quint64 centralValue) {
            return local == centralValue || (atEnd && local == 0);
        };
        if (!agrees(inLocal.crc, central.crc) || !agrees(inLocal.compressed, central.compressed) ||
            !agrees(inLocal.uncompressed, central.uncompressed))
            return bad(QStringLiteral("the local header gives another CRC-32 or size: ") + shown);
        const qint64 dataStart = qint64(offset) + localSize + localNameLength + localExtraLength;
        if (central.compressed > quint64(size) || dataStart > size - qint64(central.compressed))
            return bad(QStringLiteral("entry data outside the archive: ") + shown);
        const qint64 dataEnd = dataStart + qint64(central.compressed);
        if (atEnd) {
            if (!reader.read(dataEnd, std::min<qint64>(24, size - dataEnd), &bytes) ||
                !descriptorAgrees(bytes, central))
                return bad(QStringLiteral("the data descriptor gives another CRC-32 or size: ") + shown);
        }
        Entry entry;
        entry.size = central.uncompressed;
        entry.stored = central.method == methodStored;
        switch (centralKind) {
        case Kind::other:
            return bad(QStringLiteral("neither a file, a folder nor a link: ") + shown);
        case Kind::directory:
            // libarchive would skip the data of a folder.
            if (central.compressed != 0 || central.uncompressed != 0)
                return bad(QStringLiteral("a folder with data: ") + shown);
            entry.kind = Entry::Kind::directory;
            break;
        case Kind::link:
            // A writer knows a link's target, and so its CRC-32, before it writes it; only a file's
            // CRC-32 may follow its data. The local headers carry no type, so this flag is what
            // tells a file whose central record calls it a link.
            if (atEnd)
                return bad(QStringLiteral("a link with a data descriptor: ") + shown);
            // libarchive reads a link's target without checking its CRC-32.
            if (entry.stored) {
                if (central.compressed != central.uncompressed || central.compressed > quint64(longestLinkTarget) ||
                    !reader.read(dataStart, qint64(central.compressed), &bytes) || crc32Of(bytes) != central.crc)
                    return bad(QStringLiteral("link target does not match its CRC-32: ") + shown);
                entry.linkTarget = bytes;
            }
            entry.kind = Entry::Kind::link;
            break;
        case Kind::file:
            // libarchive checks no CRC-32 where there is no byte to check, and unpacks a stored
            // entry by its compressed size.
            if (central.uncompressed == 0 && central.crc != 0)
                return bad(QStringLiteral("an empty file with a CRC-32: ") + shown);
            if (entry.stored && central.compressed != central.uncompressed)
                return bad(QStringLiteral("a stored file whose two sizes differ: ") + shown);
            // libarchive's writer stores a link or a folder with version 2.0 and its CRC-32 in the
            // local header, a file with version 1.0 (4.5 with ZIP64) and a data descriptor; Info-ZIP
            // stores every entry with version 1.0. So this tells a link whose central record calls
            // it a file.
            if (entry.stored && !atEnd && versionNeeded == versionOfLinksAndFolders)
                return bad(QStringLiteral("a file stored the way a link is: ") + shown);
            entry.kind = Entry::Kind::file;
            break;
        }
        if (!byOffset.emplace(offset, entry).second)
            return bad(QStringLiteral("two entries share a local header: ") + shown);
        // The flag lives in the high byte of each header's flags.
        if (central.flags & utf8Flag)
            flagBytes.push_back(found.offset + pos + 9);
        if (inLocal.flags & utf8Flag)
            flagBytes.push_back(qint64(offset) + 7);
        pos = next;
    }
    // The reader walks the directory to its end whatever count the end record gives: no entry may
    // stand there unchecked.
    if (pos != directory.size())
        return bad(QStringLiteral("the central directory holds more than its entries"));
    if (utf8FlagBytes)
        *utf8FlagBytes = std::move(flagBytes);
    if (checked) {
        checked->clear();
        for (auto& [offset, entry] : byOffset)
            checked->append(std::move(entry));
    }
    return true;
}
