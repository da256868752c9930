#include "tests/support/MemoryScan.h"

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

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

int MemoryScan::countInProcess(qint64 pid, const QByteArray& maskedBytes)
{
    if (maskedBytes.isEmpty()) {
        return -1;
    }
    FILE* maps = std::fopen(QByteArray("/proc/" + QByteArray::number(pid) + "/maps").constData(), "r");
    if (!maps) {
        return -1;
    }
    const int mem = ::open(QByteArray("/proc/" + QByteArray::number(pid) + "/mem").constData(), O_RDONLY | O_CLOEXEC);
    if (mem < 0) {
        std::fclose(maps);
        return -1;
    }
    const QByteArray plain = masked(maskedBytes); // the other process is searched, not this one
    int hits = 0;
    int readable = 0;
    char line[512];
    QByteArray region;
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long start = 0;
        unsigned long end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3 || perms[0] != 'r' || perms[1] != 'w') {
            continue;
        }
        region.resize(qsizetype(end - start));
        const ssize_t got = ::pread(mem, region.data(), size_t(region.size()), off_t(start));
        if (got <= 0) {
            continue;
        }
        ++readable;
        const QByteArrayView view(region.constData(), qsizetype(got));
        for (qsizetype at = view.indexOf(plain); at >= 0; at = view.indexOf(plain, at + 1)) {
            ++hits;
        }
    }
    ::close(mem);
    std::fclose(maps);
    return readable > 0 ? hits : -1;
}
