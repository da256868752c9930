#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QUrl>

#include <optional>

// The backups of a folder listing, newest first: each with its date and, read when first asked
// for, its comment.
class BackupListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        UrlRole = Qt::UserRole + 1,
        DateTextRole,
        CommentRole, // the comment, or an invalid value without one
    };

    struct Backup
    {
        QUrl url;
        QString dateText;
    };

    // Keeps the entries named "Backup_" + "yyyy-MM-dd_HH-mm-ss" + ".orlwen" and sorts them by name,
    // descending.
    static QList<Backup> backups(const QList<QUrl>& files);
    // "dd.MM.yyyy HH:mm:ss" of a backup's file name, nothing when the name holds no time stamp.
    // Gregorian calendar and C locale, whatever the user's settings.
    static std::optional<QString> dateText(const QString& fileName);

    using QAbstractListModel::QAbstractListModel;

    void setFiles(const QList<QUrl>& files);
    // Reads every comment afresh when next asked for.
    void refreshComments();

    QUrl urlAt(int row) const;
    int rowOf(const QUrl& url) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::optional<QString> comment(int row) const;

    QList<Backup> m_backups;
    mutable QHash<int, std::optional<QString>> m_comments;
};
