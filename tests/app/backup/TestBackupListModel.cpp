#include "app/backup/BackupListModel.h"
#include "app/backup/BackupRowDelegate.h"
#include "core/archive/FinderComment.h"
#include "core/workflows/BackupListing.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocument>

namespace {

QString plainText(const QVariant& html)
{
    QTextDocument shown;
    shown.setHtml(html.toString());
    // Long words carry invisible break opportunities (zero-width spaces); the reader sees the text.
    return shown.toPlainText().remove(QChar(0x200B));
}

BackupEntry entry(const QString& name, const std::optional<QString>& comment = std::nullopt)
{
    return {QUrl::fromLocalFile(QStringLiteral("/ordner/") + name), BackupListing::dateText(name).value_or(QString()),
            comment};
}

} // namespace

// The rows of the restore list: dates, comments and tooltips of a listing.
class TestBackupListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A comment is the user's text: the row and the tooltip show it as written, never as markup.
    void commentsAndTooltips_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::newRow("plain") << "Vor dem Update";
        QTest::newRow("markup") << "<b>fett</b> <a href=\"x\">Link</a> & <img src=\"/etc/passwd\">";
        QTest::newRow("lines") << "erste Zeile\nzweite Zeile";
        QTest::newRow("none") << "";
    }

    void commentsAndTooltips()
    {
        QFETCH(QString, comment);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Backup_2025-01-02_08-00-00.orlwen"));
        QVERIFY(writeFile(path, "x"));
        if (!comment.isEmpty())
            QVERIFY(setFinderComment(path, comment));
        BackupListModel model;
        model.setBackups(BackupListing::list(dir.path()).backups);
        QCOMPARE(model.rowCount(), 1);
        const QModelIndex row = model.index(0);
        QCOMPARE(row.data().toString(), QStringLiteral("02.01.2025 08:00:00"));
        if (comment.isEmpty()) {
            QVERIFY(!row.data(BackupListModel::CommentRole).isValid());
            QVERIFY(!row.data(Qt::ToolTipRole).isValid());
            return;
        }
        QCOMPARE(row.data(BackupListModel::CommentRole).toString(), comment);
        QCOMPARE(plainText(row.data(Qt::ToolTipRole)), comment);
        QVERIFY(!BackupRowDelegate::singleLine(comment).contains(QLatin1Char('\n')));
    }

    // A tooltip never covers half the screen: long comments are cut with "…"; the edit sheet has all.
    void longCommentsAreCutInTooltips_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("shown");
        const QString umlauts = QString(4000, QChar(0x00FC));
        const QString emoji = QStringLiteral("\U0001F44D\U0001F3FD").repeated(4000);
        const QString lines = QStringLiteral("Zeile\n").repeated(100);
        QTest::newRow("500 characters stay whole") << umlauts.left(500) << umlauts.left(500);
        QTest::newRow("4000 umlauts") << umlauts << umlauts.left(500) + QStringLiteral("…");
        // Each of these takes four code units: cut between characters, never inside one.
        QTest::newRow("4000 emoji") << emoji << emoji.left(4 * 500) + QStringLiteral("…");
        QTest::newRow("100 lines") << lines << lines.left(6 * 20 - 1) + QStringLiteral("…");
    }

    void longCommentsAreCutInTooltips()
    {
        QFETCH(QString, comment);
        QFETCH(QString, shown);
        BackupListModel model;
        model.setBackups({entry(QStringLiteral("Backup_2025-01-02_08-00-00.orlwen"), comment)});
        QCOMPARE(plainText(model.index(0).data(Qt::ToolTipRole)), shown);
        QCOMPARE(model.index(0).data(BackupListModel::CommentRole).toString(), comment);
    }

    // A new listing of the same backups keeps the rows (selection, scroll position) and shows the new
    // comments; other backups replace the rows.
    void newListings()
    {
        BackupListModel model;
        const QString newer = QStringLiteral("Backup_2025-01-02_08-00-00.orlwen");
        const QString older = QStringLiteral("Backup_2024-12-24_18-30-05.orlwen");
        model.setBackups({entry(newer), entry(older, QStringLiteral("alt"))});
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        model.setBackups({entry(newer), entry(older, QStringLiteral("neu"))});
        QCOMPARE(reset.count(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
        QCOMPARE(model.index(1).data(BackupListModel::CommentRole).toString(), QStringLiteral("neu"));
        QCOMPARE(model.commentOf(entry(older).url), std::optional<QString>(QStringLiteral("neu")));

        model.setBackups({entry(QStringLiteral("Backup_2025-03-01_09-00-00.orlwen")), entry(newer)});
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowOf(entry(newer).url), 1);
        QCOMPARE(model.rowOf(entry(older).url), -1);
        QCOMPARE(model.commentOf(entry(older).url), std::nullopt);
    }
};

TARN_TEST_GUI_MAIN(TestBackupListModel)
#include "TestBackupListModel.moc"
