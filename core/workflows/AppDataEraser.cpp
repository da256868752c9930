#include "core/workflows/AppDataEraser.h"

#include "core/archive/FileTree.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/CreateZipViewModel.h"
#include "platform/Diagnostics.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A path field of /proc/self/mountinfo: blanks, tabs, line breaks and backslashes come as octal escapes.
QByteArray unescapeMountField(const QByteArray& field)
{
    QByteArray result;
    result.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                result.append(char(code));
                i += 3;
                continue;
            }
        }
        result.append(field[i]);
    }
    return result;
}

} // namespace

bool AppDataEraser::holds(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString data = ContainerGuard::resolvedPath(appDataFolder());
    const QString candidate = ContainerGuard::resolvedPath(folder);
    return candidate == data || candidate.startsWith(data + QLatin1Char('/'));
}

QString AppDataEraser::appDataFolder()
{
    return CreateZipViewModel::appDataFolderURL().toLocalFile();
}

QString AppDataEraser::mountInsideText(const QString& mountPoint)
{
    return QStringLiteral("Im Datenordner ist ein anderes Laufwerk eingehängt: „%1“. Damit dort nichts verloren "
                          "geht, wurde nichts gelöscht. Bitte hänge es zuerst aus und versuche es erneut.")
        .arg(mountPoint);
}

QFuture<AppDataEraser::Outcome> AppDataEraser::eraseAppData(Guard beforeRemoval)
{
    // On the global pool, as backup and restore: the program waits for it before it ends, so that Data
    // is never left half removed.
    return QtConcurrent::run([folder = appDataFolder(), beforeRemoval = std::move(beforeRemoval)] {
        const Outcome result = erase(folder, beforeRemoval);
        if (result)
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Успешно удалён ") + folder;
        else
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при удалении: ") +
                    QLatin1String(FinderCommentError::name(result.error().code)) + QLatin1Char(' ') + folder +
                    QLatin1Char(' ') + result.error().refusal;
        return result;
    });
}

AppDataEraser::Outcome AppDataEraser::erase(const QString& folder, const Guard& beforeRemoval)
{
    struct stat info;
    const bool isFolder = ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode);
    if (isFolder) {
        // A file system mounted inside would be emptied too: stop before anything goes.
        const QString mountPoint = mountInside(folder);
        if (!mountPoint.isEmpty())
            return fail(Failure{FinderCommentError::insufficientPermissions, mountInsideText(mountPoint)});
    }
    if (beforeRemoval) {
        if (const std::optional<QString> refusal = beforeRemoval())
            return fail(Failure{FinderCommentError::insufficientPermissions, *refusal});
    }
    const ArchiveResult removed = removeItem(folder);
    if (!removed)
        return fail(Failure{removed.error().code, {}});
    return {};
}

QString AppDataEraser::mountInside(const QString& folder)
{
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(folder).constData(), resolved))
        return {};
    const QByteArray prefix = QByteArray(resolved) == "/" ? QByteArray("/") : QByteArray(resolved) + '/';
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    QByteArray found;
    // "<id> <parent> <major:minor> <root> <mount point> ..."
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QByteArray mountPoint = unescapeMountField(fields[4]);
        if (mountPoint.startsWith(prefix) && mountPoint.size() > prefix.size() &&
            (found.isEmpty() || mountPoint < found))
            found = mountPoint;
    }
    return QFile::decodeName(found);
}

ArchiveResult AppDataEraser::removeItem(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat info;
    if (path.isEmpty() || ::lstat(local.constData(), &info) != 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: Не удалось удалить временный файл ") + path +
                QStringLiteral(". Ошибка: ") + QString::fromLocal8Bit(std::strerror(errno));
        return fail(FinderCommentError(FinderCommentError::directoryNotFound));
    }
    // Never follows a link nor enters another mount: a linked Data goes as the link; folders of ours
    // that lack the owner's write permission are opened up first, so that they cannot keep part of
    // the data behind.
    int error = 0;
    const bool removed = removeTreeOnOneMountAt(AT_FDCWD, local, &error);
    if (!removed) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: Не удалось удалить временный файл ") + path +
                QStringLiteral(". Ошибка: ") + QString::fromLocal8Bit(std::strerror(error));
        return fail(FinderCommentError(FinderCommentError::insufficientPermissions));
    }
    qCDebug(lcDiagnostics).noquote() << "Временный файл удален.";
    return {};
}
