#include "core/workflows/PathViewModel.h"

#include "core/workflows/ContainerGuard.h"
#include "platform/AppSettings.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

QString PathViewModel::savedPathKey()
{
    return AppSettings::name(AppSettings::Key::savedPath);
}

PathViewModel::PathViewModel(QObject* parent)
    : QObject(parent)
{
}

void PathViewModel::setRestorePath(const QUrl& restorePath)
{
    if (m_restorePath == restorePath)
        return;
    m_restorePath = restorePath;
    Q_EMIT restorePathChanged();
}

void PathViewModel::loadPath()
{
    const QString path = AppSettings::instance().savedPath();
    const QUrl url = QUrl::fromLocalFile(path);
    if (path.isEmpty() || !url.isValid())
        return;
    setRestorePath(url);
}

void PathViewModel::savePath()
{
    const QString path = m_restorePath.toLocalFile();
    if (path.isEmpty())
        return;
    AppSettings::instance().setSavedPath(path);
    qCDebug(lcDiagnostics) << "Путь сохранён:" << path;
}

QFuture<Result<void, QString>> PathViewModel::choosePath(const QUrl& folder)
{
    const QString path = folder.toLocalFile();
    if (path.isEmpty()) {
        return QtFuture::makeReadyFuture(Result<void, QString>());
    }
    return continueOn(this, ContainerGuard::checkOverlap(path),
                      [this, folder, path](bool overlapsContainer) -> Result<void, QString> {
                          if (overlapsContainer) {
                              qCDebug(lcDiagnostics) << "Путь отклонён, он пересекается с контейнером:" << path;
                              return fail(ContainerGuard::refusalText());
                          }
                          setRestorePath(folder);
                          savePath();
                          return {};
                      });
}
