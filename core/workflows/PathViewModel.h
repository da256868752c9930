#pragma once

#include "platform/Result.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>

// The backup folder as chosen in the settings, kept as a plain path under "savedPathKey".
class PathViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QUrl restorePath READ restorePath WRITE setRestorePath NOTIFY restorePathChanged)

public:
    static QString savedPathKey();

    explicit PathViewModel(QObject* parent = nullptr);

    QUrl restorePath() const { return m_restorePath; }
    void setRestorePath(const QUrl& restorePath);

    // Reads the stored folder into restorePath; leaves it unchanged when none is stored.
    void loadPath();
    // Stores restorePath's local path; does nothing while restorePath is empty.
    void savePath();
    // The user's choice of folder: becomes restorePath and is stored, unless it is the sibling
    // app's container, lies inside it or contains it; then nothing changes and the refusal text
    // is the result. The folder is looked at off this thread (it may not answer); the future
    // finishes on this thread, and is cancelled when this model goes first.
    QFuture<Result<void, QString>> choosePath(const QUrl& folder);

Q_SIGNALS:
    void restorePathChanged();

private:
    QUrl m_restorePath;
};
