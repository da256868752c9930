#include "core/workflows/ContainerGuard.h"

#include "core/workflows/RestoreZipViewModel.h"
#include "platform/FileSystemLanes.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

bool isSameOrInside(const QString& path, const QString& folder)
{
    if (path == folder || folder == QLatin1String("/")) {
        return true;
    }
    return path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

bool ContainerGuard::overlapsContainer(const QString& folder)
{
    if (folder.isEmpty()) {
        return false;
    }
    const QString candidate = resolvedPath(folder);
    const QString container = resolvedPath(RestoreZipViewModel::containerURL().toLocalFile());
    return isSameOrInside(candidate, container) || isSameOrInside(container, candidate);
}

QFuture<bool> ContainerGuard::checkOverlap(const QString& folder)
{
    return FileSystemLanes::run(folder, QStringLiteral("overlapsContainer"),
                                [folder] { return overlapsContainer(folder); });
}

QString ContainerGuard::resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    while (!QFileInfo::exists(existing) && existing != QLatin1String("/")) {
        missing.prepend(QFileInfo(existing).fileName());
        existing = QFileInfo(existing).path();
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    const QString base = canonical.isEmpty() ? existing : canonical;
    return missing.isEmpty() ? base : QDir::cleanPath(base + QLatin1Char('/') + missing.join(QLatin1Char('/')));
}

QString ContainerGuard::refusalText()
{
    return QStringLiteral("Dieser Ordner kann nicht als Speicherort dienen, da er im Ordner der Betreuungssoftware "
                          "liegt oder ihn enthält.");
}
