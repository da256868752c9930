#pragma once

#include "core/workflows/BackupListing.h"

#include <QAbstractListModel>
#include <QList>
#include <QUrl>

// The backups of a folder listing, newest first, each with its date and its comment, as the restore
// model read them off the GUI thread.
class BackupListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        UrlRole = Qt::UserRole + 1,
        DateTextRole,
        CommentRole, // the comment, or an invalid value without one
    };

    // A tooltip shows at most this many characters of a comment, and this many lines.
    static constexpr int toolTipCharacters = 500;
    static constexpr int toolTipLines = 20;
    // The comment as a tooltip shows it: cut with "…" after toolTipCharacters characters or
    // toolTipLines lines, as plain text (never markup).
    static QString toolTip(const QString& comment);
    // The text with a zero-width space in every run of more than 30 characters without a blank, so
    // that a tooltip, which wraps only between words, can wrap a long word too.
    static QString breakable(const QString& text);

    using QAbstractListModel::QAbstractListModel;

    // The same backups as before keep their rows and take their new comments; others replace the list.
    void setBackups(const QList<BackupEntry>& backups);

    QUrl urlAt(int row) const;
    int rowOf(const QUrl& url) const;
    // The listed comment of a backup, or nothing.
    std::optional<QString> commentOf(const QUrl& url) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<BackupEntry> m_backups;
};
