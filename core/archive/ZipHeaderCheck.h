#pragma once

#include <QString>

class CipherSource;

// Checks the entry names of the ZIP inside a backup before anything is unpacked. libarchive
// cuts a name at its first NUL byte, so an entry "Data/a<NUL>b" would be restored as "Data/a";
// this reads the central directory and every local header itself and refuses such a name.
class ZipNameCheck
{
public:
    // True when every name is free of NUL bytes; false with a reason otherwise, also when the
    // directory cannot be read.
    static bool namesAreClean(CipherSource& source, QString* error);
};
