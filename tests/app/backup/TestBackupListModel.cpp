#include "app/backup/BackupListModel.h"
#include "app/backup/BackupRowDelegate.h"
#include "core/archive/FinderComment.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTextDocument>

// Which entries of a backup folder are backups, in which order, with which date and comment.
class TestBackupListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dateText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("date");
        QTest::newRow("backup") << "Backup_2024-12-24_18-30-05.orlwen"
                                << "24.12.2024 18:30:05";
        QTest::newRow("leap day") << "Backup_2024-02-29_00-00-00.orlwen"
                                  << "29.02.2024 00:00:00";
        QTest::newRow("no such day") << "Backup_2023-02-29_00-00-00.orlwen" << QString();
        QTest::newRow("no such hour") << "Backup_2024-12-24_24-00-00.orlwen" << QString();
        QTest::newRow("zip") << "Backup_2025-01-02_08-00-00.zip" << QString();
        QTest::newRow("upper-case extension") << "Backup_2025-01-02_08-00-00.ORLWEN" << QString();
        QTest::newRow("no stamp") << "Backup_kaputt.orlwen" << QString();
        QTest::newRow("other name") << "Notizen.orlwen" << QString();
        QTest::newRow("lower-case prefix") << "backup_2025-01-02_08-00-00.orlwen" << QString();
        QTest::newRow("stamp and more") << "Backup_2025-01-02_08-00-00x.orlwen" << QString();
        QTest::newRow("two extensions") << "Backup_2025-01-02_08-00-00.orlwen.orlwen" << QString();
    }

    // Dates read and written the same way whatever the user's locale and calendar.
    void dateText()
    {
        QFETCH(QString, name);
        QFETCH(QString, date);
        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Arabic, QLocale::Egypt),
                                      QLocale(QLocale::Persian, QLocale::Iran), QLocale(QLocale::German)}) {
            QLocale::setDefault(locale);
            QCOMPARE(BackupListModel::dateText(name).value_or(QString()), date);
        }
        QLocale::setDefault(QLocale::c());
    }

    void backupsNewestFirst()
    {
        QList<QUrl> files;
        for (const char* name : {"Backup_2024-12-24_18-30-05.orlwen", "Backup_2025-01-02_08-00-00.orlwen",
                                 "Backup_2025-01-02_08-00-00.zip", "Notizen.orlwen", "Backup_kaputt.orlwen",
                                 "Backup_2025-01-02_07-59-59.orlwen"})
            files << QUrl::fromLocalFile(QStringLiteral("/ordner/") + QString::fromUtf8(name));
        BackupListModel model;
        model.setFiles(files);
        QStringList dates;
        for (int row = 0; row < model.rowCount(); ++row)
            dates << model.index(row).data(BackupListModel::DateTextRole).toString();
        QCOMPARE(dates,
                 (QStringList{QStringLiteral("02.01.2025 08:00:00"), QStringLiteral("02.01.2025 07:59:59"),
                              QStringLiteral("24.12.2024 18:30:05")}));
        QCOMPARE(model.urlAt(0).fileName(), QStringLiteral("Backup_2025-01-02_08-00-00.orlwen"));
        QCOMPARE(model.rowOf(model.urlAt(2)), 2);
        QCOMPARE(model.rowOf(QUrl::fromLocalFile(QStringLiteral("/ordner/Notizen.orlwen"))), -1);
    }

    // A comment is the user's text: the tooltip shows it as written, never as markup.
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
        model.setFiles({QUrl::fromLocalFile(path)});
        const QModelIndex row = model.index(0);
        if (comment.isEmpty()) {
            QVERIFY(!row.data(BackupListModel::CommentRole).isValid());
            QVERIFY(!row.data(Qt::ToolTipRole).isValid());
            return;
        }
        QCOMPARE(row.data(BackupListModel::CommentRole).toString(), comment);
        QTextDocument shown;
        shown.setHtml(row.data(Qt::ToolTipRole).toString());
        QCOMPARE(shown.toPlainText(), comment);
        QVERIFY(!BackupRowDelegate::singleLine(comment).contains(QLatin1Char('\n')));

        // A changed comment is read again once the list is told so.
        QVERIFY(setFinderComment(path, QStringLiteral("neu")));
        QCOMPARE(row.data(BackupListModel::CommentRole).toString(), comment);
        model.refreshComments();
        QCOMPARE(row.data(BackupListModel::CommentRole).toString(), QStringLiteral("neu"));
    }
};

TARN_TEST_GUI_MAIN(TestBackupListModel)
#include "TestBackupListModel.moc"
