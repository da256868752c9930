#include "tests/support/MemoryScan.h"

#include <cstdio>
#include <cstring>

namespace {

bool matchesAt(const unsigned char* at, const QByteArray& maskedBytes)
{
    for (qsizetype i = 0; i < maskedBytes.size(); ++i) {
        if ((at[i] ^ MemoryScan::mask) != static_cast<unsigned char>(maskedBytes[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray MemoryScan::masked(const QByteArray& bytes)
{
    QByteArray result = bytes;
    for (char& byte : result) {
        byte = char(static_cast<unsigned char>(byte) ^ mask);
    }
    return result;
}

int MemoryScan::count(const QByteArray& maskedBytes)
{
    if (maskedBytes.isEmpty()) {
        return -1;
    }
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps) {
        return -1;
    }
    int hits = 0;
    char line[512];
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long start = 0;
        unsigned long end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3 || std::strcmp(perms, "rw-p") != 0) {
            continue;
        }
        const auto* base = reinterpret_cast<const unsigned char*>(start);
        const size_t size = end - start;
        const auto first = static_cast<unsigned char>(maskedBytes[0]);
        for (size_t i = 0; i + size_t(maskedBytes.size()) <= size; ++i) {
            if ((base[i] ^ mask) == first && matchesAt(base + i, maskedBytes)) {
                ++hits;
            }
        }
    }
    std::fclose(maps);
    return hits;
}
