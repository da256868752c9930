#include "tests/support/PowerCutCopy.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString findTool(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty()
        ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
        : found;
}

// The exit code, or -1 when the program could not run or did not end.
int run(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Copies the file with plain reads, which see what the loop device wrote to it and nothing more.
bool copyFile(const QString& from, const QString& to, QString* error)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = in >= 0 && out >= 0;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    while (ok) {
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = ::write(out, buffer.constData(), size_t(n)) == n;
    }
    if (!ok)
        *error = QStringLiteral("copying the image: ") + QString::fromLocal8Bit(std::strerror(errno));
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return ok;
}

} // namespace

PowerCutCopy::PowerCutCopy(const QString& imagePath)
{
    const QString copy = m_dir.filePath(QStringLiteral("copy"));
    m_mountPoint = m_dir.filePath(QStringLiteral("mnt"));
    if (!m_dir.isValid() || !QDir().mkpath(m_mountPoint)) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    if (!copyFile(imagePath, copy, &m_error))
        return;
    const QString fsck = findTool(QStringLiteral("e2fsck"));
    if (fsck.isEmpty()) {
        m_error = QStringLiteral("e2fsck missing (scripts/install-deps.sh)");
        return;
    }
    QString output;
    // 0: clean, 1: errors corrected, 2: corrected, reboot advised; 4 and up: errors left.
    const int checked = run(fsck, {QStringLiteral("-fy"), copy}, &output);
    if (checked < 0 || checked >= 4) {
        m_error = QStringLiteral("e2fsck could not repair the copy: ") + output;
        return;
    }
    if (run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop,ro"), copy, m_mountPoint}, &output) !=
        0) {
        m_error = QStringLiteral("mounting the copy failed: ") + output;
        return;
    }
    m_mounted = true;
}

PowerCutCopy::~PowerCutCopy()
{
    if (!m_mounted)
        return;
    QString output;
    // The loop device goes with the mount (mount -o loop sets it to clear itself).
    if (run(QStringLiteral("umount"), {m_mountPoint}, &output) != 0)
        run(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint}, &output);
}
