#include "app/backup/BackupListModel.h"

#include "core/archive/FinderComment.h"

#include <QCalendar>
#include <QDate>
#include <QTextDocument>
#include <QTime>

#include <algorithm>

namespace {

const QString prefix = QStringLiteral("Backup_");
const QString extension = QStringLiteral(".orlwen");

} // namespace

std::optional<QString> BackupListModel::dateText(const QString& fileName)
{
    // "Backup_2024-12-24_18-30-05.orlwen": the name without its extension (letter case counts),
    // less the prefix.
    if (!fileName.endsWith(extension) || !fileName.startsWith(prefix))
        return std::nullopt;
    const QString stamp = fileName.mid(prefix.size(), fileName.size() - prefix.size() - extension.size());
    if (stamp.size() != 19 || stamp[10] != QLatin1Char('_'))
        return std::nullopt;
    const QCalendar gregorian(QCalendar::System::Gregorian);
    const QDate date = QDate::fromString(stamp.left(10), QStringLiteral("yyyy-MM-dd"), gregorian);
    const QTime time = QTime::fromString(stamp.mid(11), QStringLiteral("HH-mm-ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return date.toString(QStringLiteral("dd.MM.yyyy"), gregorian) + QLatin1Char(' ') +
        time.toString(QStringLiteral("HH:mm:ss"));
}

QList<BackupListModel::Backup> BackupListModel::backups(const QList<QUrl>& files)
{
    QList<Backup> result;
    for (const QUrl& url : files) {
        if (const std::optional<QString> date = dateText(url.fileName()))
            result.append({url, *date});
    }
    std::sort(result.begin(), result.end(),
              [](const Backup& a, const Backup& b) { return a.url.fileName() > b.url.fileName(); });
    return result;
}

void BackupListModel::setFiles(const QList<QUrl>& files)
{
    QList<Backup> next = backups(files);
    const bool sameRows = std::equal(next.begin(), next.end(), m_backups.begin(), m_backups.end(),
                                     [](const Backup& a, const Backup& b) { return a.url == b.url; });
    if (sameRows) {
        refreshComments();
        return;
    }
    beginResetModel();
    m_backups = std::move(next);
    m_comments.clear();
    endResetModel();
}

void BackupListModel::refreshComments()
{
    m_comments.clear();
    if (!m_backups.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_backups.size()) - 1));
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

int BackupListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_backups.size());
}

std::optional<QString> BackupListModel::comment(int row) const
{
    auto cached = m_comments.constFind(row);
    if (cached != m_comments.constEnd())
        return *cached;
    std::optional<QString> text = getFinderComment(m_backups[row].url.toLocalFile());
    if (text && text->isEmpty())
        text.reset();
    m_comments.insert(row, text);
    return text;
}

QVariant BackupListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_backups.size())
        return {};
    const Backup& backup = m_backups[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case DateTextRole:
        return backup.dateText;
    case UrlRole:
        return backup.url;
    case CommentRole:
        if (const std::optional<QString> text = comment(index.row()))
            return *text;
        return {};
    case Qt::ToolTipRole:
        // A comment is the user's text: shown as written, never as markup.
        if (const std::optional<QString> text = comment(index.row()))
            return Qt::convertFromPlainText(*text, Qt::WhiteSpaceNormal);
        return {};
    default:
        return {};
    }
}
