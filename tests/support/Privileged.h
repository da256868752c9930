#pragma once

#include <QtTest>

// Tests that mount images, use FUSE or act as other users need root, /dev/fuse and loop devices.
// Where the run has them (CI, scripts/test.sh as root), such a test that cannot run has found a
// fault and fails; elsewhere it is skipped. Only the test function itself may skip: a skip inside
// a helper ends the helper alone and lets the test go on and pass.
namespace Privileged {

// True when this process runs as root with a usable /dev/fuse and a loop-device control.
bool expected();

} // namespace Privileged

// Skips the test, or fails it where privileged tests are expected to run. Use in the test function.
#define TARN_SKIP_UNLESS_PRIVILEGED(reason)                                                                            \
    do {                                                                                                               \
        const QString tarnReason_ = (reason);                                                                          \
        if (Privileged::expected())                                                                                    \
            QFAIL(qPrintable(QStringLiteral("cannot run as root here: ") + tarnReason_));                              \
        QSKIP(qPrintable(tarnReason_));                                                                                \
    } while (false)
