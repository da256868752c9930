#include "core/archive/ZipNameCheck.h"

#include "core/archive/CipherSource.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 localSignature = 0x04034b50;
constexpr quint32 centralSignature = 0x02014b50;
constexpr quint32 endSignature = 0x06054b50;
constexpr quint32 end64LocatorSignature = 0x07064b50;
constexpr quint32 end64Signature = 0x06064b50;
constexpr qint64 endSize = 22;
constexpr qint64 end64LocatorSize = 20;
constexpr qint64 end64Size = 56;
constexpr qint64 centralSize = 46;
constexpr qint64 localSize = 30;
constexpr qint64 piece = 256 * 1024;

quint64 le(const char* p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
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

} // namespace

bool ZipNameCheck::namesAreClean(CipherSource& source, QString* error)
{
    Reader reader(source);
    const qint64 size = source.plainSize();
    const auto bad = [error](const QString& reason) {
        *error = reason;
        return false;
    };

    // The end record sits in the last 22 + 65535 bytes (its comment may take up to 65535).
    const qint64 tailLength = std::min(size, endSize + 0xFFFF);
    QByteArray tail;
    if (!reader.read(size - tailLength, tailLength, &tail))
        return bad(QStringLiteral("cannot read the end of the archive"));
    qint64 at = -1;
    for (qint64 i = tailLength - endSize; i >= 0; --i) {
        if (le(tail.constData() + i, 4) == endSignature &&
            i + endSize + qint64(le(tail.constData() + i + 20, 2)) <= tailLength) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return bad(QStringLiteral("no end of central directory record"));
    const char* end = tail.constData() + at;
    const qint64 endPos = size - tailLength + at;
    quint64 entries = le(end + 10, 2);
    quint64 directorySize = le(end + 12, 4);
    quint64 directoryOffset = le(end + 16, 4);
    if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        QByteArray locator;
        QByteArray end64;
        if (endPos < end64LocatorSize || !reader.read(endPos - end64LocatorSize, end64LocatorSize, &locator) ||
            le(locator.constData(), 4) != end64LocatorSignature)
            return bad(QStringLiteral("no ZIP64 end of central directory locator"));
        const quint64 end64Pos = le(locator.constData() + 8, 8);
        if (end64Pos > quint64(size) || !reader.read(qint64(end64Pos), end64Size, &end64) ||
            le(end64.constData(), 4) != end64Signature)
            return bad(QStringLiteral("no ZIP64 end of central directory record"));
        entries = le(end64.constData() + 32, 8);
        directorySize = le(end64.constData() + 40, 8);
        directoryOffset = le(end64.constData() + 48, 8);
    }
    QByteArray directory;
    if (directoryOffset > quint64(size) || directorySize > quint64(size) ||
        !reader.read(qint64(directoryOffset), qint64(directorySize), &directory))
        return bad(QStringLiteral("central directory outside the archive"));

    qint64 pos = 0;
    QByteArray local;
    for (quint64 n = 0; n < entries; ++n) {
        if (pos + centralSize > directory.size() || le(directory.constData() + pos, 4) != centralSignature)
            return bad(QStringLiteral("damaged central directory"));
        const char* header = directory.constData() + pos;
        const qint64 nameLength = qint64(le(header + 28, 2));
        const qint64 extraLength = qint64(le(header + 30, 2));
        const qint64 commentLength = qint64(le(header + 32, 2));
        const qint64 next = pos + centralSize + nameLength + extraLength + commentLength;
        if (next > directory.size())
            return bad(QStringLiteral("damaged central directory"));
        const char* name = header + centralSize;
        if (hasNul(name, nameLength))
            return bad(QStringLiteral("entry name with a NUL byte: ") +
                       QString::fromUtf8(name, qsizetype(std::strlen(name))));

        // The local header's offset, from the ZIP64 extra field when the plain one is saturated.
        quint64 offset = le(header + 42, 4);
        if (offset == 0xFFFFFFFF) {
            const char* extra = name + nameLength;
            bool found = false;
            for (qint64 e = 0; e + 4 <= extraLength && !found;) {
                const quint64 id = le(extra + e, 2);
                const qint64 length = qint64(le(extra + e + 2, 2));
                if (e + 4 + length > extraLength)
                    break;
                if (id == 0x0001) {
                    qint64 field = e + 4;
                    if (le(header + 24, 4) == 0xFFFFFFFF)
                        field += 8;
                    if (le(header + 20, 4) == 0xFFFFFFFF)
                        field += 8;
                    if (field + 8 <= e + 4 + length) {
                        offset = le(extra + field, 8);
                        found = true;
                    }
                }
                e += 4 + length;
            }
            if (!found)
                return bad(QStringLiteral("damaged ZIP64 extra field"));
        }
        if (offset > quint64(size) ||
            !reader.read(qint64(offset), std::min<qint64>(localSize, size - qint64(offset)), &local) ||
            local.size() < localSize || le(local.constData(), 4) != localSignature)
            return bad(QStringLiteral("damaged local header"));
        const qint64 localNameLength = qint64(le(local.constData() + 26, 2));
        if (!reader.read(qint64(offset) + localSize, localNameLength, &local))
            return bad(QStringLiteral("damaged local header"));
        if (hasNul(local.constData(), localNameLength))
            return bad(QStringLiteral("entry name with a NUL byte: ") +
                       QString::fromUtf8(local.constData(), qsizetype(std::strlen(local.constData()))));
        pos = next;
    }
    return true;
}
