#include "core/archive/RestoreContainer.h"

#include "core/archive/ArchiveFaults.h"
#include "core/archive/FileTree.h"
#include "platform/Diagnostics.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>

namespace {

const QByteArray workingPrefix = QByteArrayLiteral(".TempData");
const QByteArray oldPrefix = QByteArrayLiteral(".OldData.");

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString* error, const QString& text)
{
    *error = text;
    return false;
}

// The kernel or the file system does not know the rename flag.
bool flagUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EXDEV;
}

bool isWorkingName(const QByteArray& name)
{
    return name == workingPrefix || name.startsWith(workingPrefix + '.');
}

} // namespace

const QByteArray RestoreContainer::dataName = QByteArrayLiteral("Data");

RestoreContainer::RestoreContainer(const QString& path)
    : m_path(path)
{
}

RestoreContainer::Open RestoreContainer::open(bool create, QString* error)
{
    if (create && !QDir().mkpath(m_path)) {
        *error = m_path + QStringLiteral(": cannot create the folder");
        return Open::failed;
    }
    m_fd.reset(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_fd.isValid()) {
        *error = m_path + QStringLiteral(": ") + errnoText();
        return errno == ENOENT && !create ? Open::missing : Open::failed;
    }
    // The lock belongs to this open folder and ends when it is closed, also when the process dies.
    int status = 0;
    do {
        status = ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
    } while (status != 0 && errno == EINTR);
    if (status == 0)
        return Open::locked;
    if (errno == EWOULDBLOCK) {
        *error = m_path + QStringLiteral(": another restore is running");
        return Open::busy;
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Блокировка контейнера невозможна: ") + errnoText();
    return Open::unlocked;
}

QByteArray RestoreContainer::uniqueName(const QByteArray& prefix) const
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = prefix;
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return name;
}

bool RestoreContainer::renameNoReplace(const QByteArray& from, const QByteArray& to) const
{
    // Without the kernel's flag the name is checked first: we hold the lock, so only a foreign
    // process could make `to` meanwhile.
    return renameNoReplaceAt(m_fd.get(), from, to);
}

void RestoreContainer::removeLeftover(const QByteArray& name)
{
    int error = 0;
    if (removeTreeAt(m_fd.get(), name, &error)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Остаток прежнего запуска удалён: ") +
                QFile::decodeName(name);
        return;
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка удаления остатка прежнего запуска: ") +
            QFile::decodeName(name) + QStringLiteral(": ") + errnoText(error);
    // An old content must never be taken for Data again, and the plain working name of earlier
    // versions must not stay taken: move them aside under a unique working name.
    if (name.startsWith(oldPrefix) || name == workingPrefix) {
        const QByteArray aside = uniqueName(workingPrefix + '.');
        if (renameNoReplace(name, aside))
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Остаток перемещён: ") + QFile::decodeName(aside);
    }
}

bool RestoreContainer::recover(QString* error)
{
    std::vector<QByteArray> olds;
    std::vector<QByteArray> working;
    const int listFd = ::openat(m_fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return fail(error, m_path + QStringLiteral(": ") + errnoText());
    }
    while (dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name.startsWith(oldPrefix))
            olds.push_back(name);
        else if (isWorkingName(name))
            working.push_back(name);
    }
    ::closedir(dir);

    struct stat st = {};
    const bool hasData = ::fstatat(m_fd.get(), dataName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
    bool ok = true;
    if (!hasData && !olds.empty()) {
        // Interrupted between the two renames: the old content is complete; the newest is the last.
        auto newest = olds.end();
        struct timespec newestTime = {};
        for (auto it = olds.begin(); it != olds.end(); ++it) {
            if (::fstatat(m_fd.get(), it->constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
                continue;
            if (newest == olds.end() || st.st_ctim.tv_sec > newestTime.tv_sec ||
                (st.st_ctim.tv_sec == newestTime.tv_sec && st.st_ctim.tv_nsec > newestTime.tv_nsec)) {
                newest = it;
                newestTime = st.st_ctim;
            }
        }
        if (newest != olds.end() && renameNoReplace(*newest, dataName)) {
            ::fsync(m_fd.get());
            qCDebug(lcDiagnostics).noquote()
                << QStringLiteral("Данные возвращены после прерванной замены: ") + QFile::decodeName(*newest);
            olds.erase(newest);
        } else {
            ok = fail(error, m_path + QStringLiteral(": cannot put Data back: ") + errnoText());
        }
    }
    for (const QByteArray& name : working)
        removeLeftover(name);
    // Without Data every old content is kept for the next attempt.
    if (ok) {
        for (const QByteArray& name : olds)
            removeLeftover(name);
    }
    return ok;
}

bool RestoreContainer::makeWorkingFolder(QString* error)
{
    struct stat st = {};
    m_dataMode = ::fstatat(m_fd.get(), dataName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
        ? st.st_mode & 07777
        : 0700;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = uniqueName(workingPrefix + '.');
        if (::mkdirat(m_fd.get(), name.constData(), 0700) == 0) {
            m_workName = name;
            m_work.reset(::openat(m_fd.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (m_work.isValid())
                return true;
            const int openError = errno;
            dropWorkingFolder();
            return fail(error, errnoText(openError));
        }
        if (errno != EEXIST)
            return fail(error, errnoText());
    }
    return fail(error, errnoText(EEXIST));
}

bool RestoreContainer::applyDataMode(QString* error)
{
    return ::fchmod(m_work.get(), m_dataMode) == 0 || fail(error, errnoText());
}

void RestoreContainer::dropWorkingFolder()
{
    m_work.reset();
    if (!m_workName.isEmpty())
        removeTreeAt(m_fd.get(), m_workName);
    m_workName.clear();
}

int RestoreContainer::exchange()
{
    if (::renameat2(m_fd.get(), m_workName.constData(), m_fd.get(), dataName.constData(), RENAME_EXCHANGE) != 0)
        return errno;
    m_oldName = m_workName;
    return 0;
}

bool RestoreContainer::swapInTwoSteps(QString* error)
{
    const int failStep = ArchiveFaults::failFallbackStep.load();
    const QByteArray old = uniqueName(oldPrefix);
    if (failStep == 1)
        return fail(error, QStringLiteral("injected failure moving Data aside"));
    if (!renameNoReplace(dataName, old))
        return fail(error, errnoText());
    ArchiveFaults::notify("swap:moved-aside", old);
    if (failStep == 2 || failStep == 3 || !renameNoReplace(m_workName, dataName)) {
        const QString moveError = failStep ? QStringLiteral("injected failure moving the new content in") : errnoText();
        if (failStep != 3 && renameNoReplace(old, dataName))
            return fail(error, moveError);
        // Data stays missing; recover() brings the old content back at the next start.
        return fail(error, moveError + QStringLiteral("; Data could not be put back: ") + errnoText());
    }
    ArchiveFaults::notify("swap:moved-in", old);
    m_oldName = old;
    return true;
}

bool RestoreContainer::swapIn(QString* error)
{
    if (ArchiveFaults::failSwap.load())
        return fail(error, QStringLiteral("injected failure of the swap"));
    struct stat st = {};
    bool ok = false;
    if (::fstatat(m_fd.get(), dataName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Очистка директории: ") +
                QDir(m_path).absoluteFilePath(QStringLiteral("Data"));
        const int exchangeError = ArchiveFaults::forceSwapFallback.load() ? EINVAL : exchange();
        if (exchangeError == 0) {
            ok = true;
        } else if (flagUnsupported(exchangeError)) {
            qCDebug(lcDiagnostics).noquote() << "Атомарная замена не поддерживается, замена в два шага.";
            ok = swapInTwoSteps(error);
        } else {
            *error = errnoText(exchangeError);
        }
    } else if (errno != ENOENT) {
        return fail(error, errnoText());
    } else {
        // RENAME_NOREPLACE: a Data made meanwhile by someone else is never overwritten.
        ok = renameNoReplace(m_workName, dataName) || fail(error, errnoText());
    }
    if (!ok)
        return false;
    m_work.reset();
    m_workName.clear();
    ::fsync(m_fd.get());
    return true;
}

bool RestoreContainer::removeOldContent(QString* error)
{
    if (m_oldName.isEmpty())
        return true;
    const QByteArray old = std::exchange(m_oldName, QByteArray());
    int removeError = ArchiveFaults::failCleanup.load() ? EBUSY : 0;
    if (!removeError && removeTreeAt(m_fd.get(), old, &removeError))
        return true;
    *error = errnoText(removeError);
    if (old.startsWith(oldPrefix)) {
        const QByteArray aside = uniqueName(workingPrefix + '.');
        renameNoReplace(old, aside);
    }
    return false;
}
