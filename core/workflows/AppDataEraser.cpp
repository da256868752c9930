#include "core/workflows/AppDataEraser.h"

#include "core/archive/FileTree.h"
#include "core/workflows/CreateZipViewModel.h"
#include "platform/Diagnostics.h"

#include <QFile>
#include <QtConcurrent>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString AppDataEraser::appDataFolder()
{
    return CreateZipViewModel::appDataFolderURL().toLocalFile();
}

QFuture<ArchiveResult> AppDataEraser::eraseAppData()
{
    return QtConcurrent::run([folder = appDataFolder()] {
        const ArchiveResult result = removeItem(folder);
        if (result)
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Успешно удалён ") + folder;
        else
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при удалении: ") +
                    QLatin1String(FinderCommentError::name(result.error().code)) + QLatin1Char(' ') + folder;
        return result;
    });
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
    // Never follows a link: a linked Data goes as the link; folders of ours that lack the owner's
    // write permission are opened up first, so that they cannot keep part of the data behind.
    const bool removed = removeTreeAt(AT_FDCWD, local);
    if (!removed) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: Не удалось удалить временный файл ") + path +
                QStringLiteral(". Ошибка: не всё удалено");
        return fail(FinderCommentError(FinderCommentError::insufficientPermissions));
    }
    qCDebug(lcDiagnostics).noquote() << "Временный файл удален.";
    return {};
}
