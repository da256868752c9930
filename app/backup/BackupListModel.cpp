#include "app/backup/BackupListModel.h"

#include <QTextBoundaryFinder>
#include <QTextDocument>

#include <algorithm>

QString BackupListModel::toolTip(const QString& comment)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, comment);
    int characters = 0;
    int lines = 1;
    qsizetype end = comment.size();
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype position = finder.position();
        if (comment[start] == QLatin1Char('\n') && ++lines > toolTipLines) {
            end = start;
            break;
        }
        start = position;
        if (++characters == toolTipCharacters) {
            end = position;
            break;
        }
    }
    QString shown = comment.left(end);
    if (end < comment.size())
        shown += QStringLiteral("…");
    return Qt::convertFromPlainText(shown, Qt::WhiteSpaceNormal);
}

void BackupListModel::setBackups(const QList<BackupEntry>& backups)
{
    const bool sameRows = std::equal(backups.begin(), backups.end(), m_backups.begin(), m_backups.end(),
                                     [](const BackupEntry& a, const BackupEntry& b) { return a.url == b.url; });
    if (!sameRows) {
        beginResetModel();
        m_backups = backups;
        endResetModel();
        return;
    }
    for (int row = 0; row < backups.size(); ++row) {
        if (m_backups[row].comment == backups[row].comment)
            continue;
        m_backups[row].comment = backups[row].comment;
        Q_EMIT dataChanged(index(row), index(row), {CommentRole, Qt::ToolTipRole});
    }
}

QUrl BackupListModel::urlAt(int row) const
{
    return row >= 0 && row < m_backups.size() ? m_backups[row].url : QUrl();
}

int BackupListModel::rowOf(const QUrl& url) const
{
    for (int row = 0; row < m_backups.size(); ++row) {
        if (m_backups[row].url == url)
            return row;
    }
    return -1;
}

std::optional<QString> BackupListModel::commentOf(const QUrl& url) const
{
    const int row = rowOf(url);
    return row < 0 ? std::nullopt : m_backups[row].comment;
}

int BackupListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_backups.size());
}

QVariant BackupListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_backups.size())
        return {};
    const BackupEntry& backup = m_backups[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case DateTextRole:
        return backup.dateText;
    case UrlRole:
        return backup.url;
    case CommentRole:
        if (backup.comment)
            return *backup.comment;
        return {};
    case Qt::ToolTipRole:
        if (backup.comment)
            return toolTip(*backup.comment);
        return {};
    default:
        return {};
    }
}
