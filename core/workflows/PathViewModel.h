#pragma once

#include <QObject>
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

Q_SIGNALS:
    void restorePathChanged();

private:
    QUrl m_restorePath;
};
