#pragma once

#include <QByteArray>

// Looks for a secret in this process's writable memory (heap, anonymous mappings, thread stacks and
// the data of the loaded libraries). The secret is given XOR-masked, and compared without ever being
// unmasked, so that the search itself leaves no copy of it.
namespace MemoryScan {

inline constexpr unsigned char mask = 0x5A;

// The bytes XOR-masked.
QByteArray masked(const QByteArray& bytes);
// The places that hold the masked bytes unmasked; -1 when the memory map cannot be read.
int count(const QByteArray& maskedBytes);
// The same in the writable memory of another process of this user (a child started for the test),
// read through /proc/<pid>/mem; -1 when it cannot be read.
int countInProcess(qint64 pid, const QByteArray& maskedBytes);

} // namespace MemoryScan
