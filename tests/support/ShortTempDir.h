#pragma once

#include <QTemporaryDir>

// A temporary folder right under /tmp, whatever TMPDIR says: its paths stay short enough for a
// socket address (108 bytes), and another user can reach it once its own mode lets them, where a
// folder under a private TMPDIR or a 0700 home would stay closed to them.
class ShortTempDir : public QTemporaryDir
{
public:
    ShortTempDir()
        : QTemporaryDir(QStringLiteral("/tmp/tarn-XXXXXX"))
    {
    }
};
