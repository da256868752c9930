#pragma once

#include <QString>

class CipherSource;

// Checks the ZIP inside a backup before anything is unpacked, against what libarchive does not
// check. It cuts a name at its first NUL byte, so an entry "Data/a<NUL>b" would be restored as
// "Data/a"; it takes an entry's name from the local header but its type from the central
// directory; it ignores a data descriptor's CRC-32; and it never checks a symbolic link's target
// against its CRC-32. This reads the central directory and every local header itself and
// refuses an archive whose two records of an entry disagree.
class ZipHeaderCheck
{
public:
    // True when every name is free of NUL bytes and, for every entry, the local header (and its
    // data descriptor) agrees with the central directory on the name, the type, the method, the
    // sizes and the CRC-32 wherever it carries them, and a stored link target matches its CRC-32.
    // False with a reason otherwise, also when the directory cannot be read.
    static bool headersAgree(CipherSource& source, QString* error);
};
