#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

class CipherSource;

// Checks the ZIP inside a backup before anything is unpacked, against what libarchive does not
// check. It cuts a name at its first NUL byte, so an entry "Data/a<NUL>b" would be restored as
// "Data/a"; it takes an entry's name from the local header but its type from the central
// directory; it ignores a data descriptor's CRC-32; it never checks a symbolic link's target
// against its CRC-32; it hands out no data for a socket or a device, and checks no CRC-32 where it
// hands out none; and it reads the central directory where the end record ends, whatever offset
// that record declares. This finds the central directory as libarchive does, reads it and every
// local header itself, and refuses an archive whose records of an entry disagree or that holds
// what a backup cannot.
class ZipHeaderCheck
{
public:
    // One entry as libarchive hands it out.
    struct Entry
    {
        enum class Kind { file, directory, link };
        Kind kind = Kind::file;
        quint64 size = 0; // a file's length
        bool stored = true;
        QByteArray linkTarget; // a stored link's target, exactly as stored
    };

    // True when the central directory lies where its end record says, every name is free of NUL
    // bytes, every entry is a file, a folder without data or a link, and, for every entry, the
    // local header (and its data descriptor) agrees with the central directory on the name, the
    // type, the method, the sizes and the CRC-32 wherever it carries them, and a stored link
    // target matches its CRC-32. Then `entries`, when given, holds the entries in the order in
    // which libarchive hands them out. False with a reason otherwise, also when the directory
    // cannot be read.
    // `utf8FlagBytes`, when given, gets the offsets of the bytes that hold the UTF-8 flag of a
    // local header or central directory header where it is set (ZipReader::open takes them).
    static bool headersAgree(CipherSource& source, QString* error, QList<Entry>* entries = nullptr,
                             std::vector<qint64>* utf8FlagBytes = nullptr);
};
