#include "app/backup/BackupListModel.h"

#include "app/backup/BackupRowDelegate.h"

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
    return Qt::convertFromPlainText(breakable(shown), Qt::WhiteSpaceNormal);
}

QString BackupListModel::breakable(const QString& text)
{
    // A tooltip wraps only between words: a long word gets invisible break opportunities.
    constexpr int longestRun = 30;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    QString result;
    result.reserve(text.size() + text.size() / longestRun);
    qsizetype start = 0;
    int run = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype position = finder.position();
        const QStringView grapheme = QStringView(text).mid(start, position - start);
        run = grapheme.front().isSpace() ? 0 : run + 1;
        if (run > longestRun) {
            result += QChar(0x200B);
            run = 1;
        }
        result += grapheme;
        start = position;
    }
    return result;
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
        Q_EMIT dataChanged(index(row), index(row),
                           {CommentRole, Qt::ToolTipRole, Qt::AccessibleTextRole, Qt::AccessibleDescriptionRole});
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
    case Qt::AccessibleTextRole:
        // A screen reader reads the row as it shows: the date, then the comment.
        if (backup.comment && !backup.comment->isEmpty())
            return backup.dateText + QStringLiteral(", ") + BackupRowDelegate::singleLine(*backup.comment);
        return backup.dateText;
    case Qt::AccessibleDescriptionRole:
        if (backup.comment)
            return *backup.comment;
        return {};
    default:
        return {};
    }
}
