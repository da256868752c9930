#include "core/archive/FinderComment.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// What the restore screen does to single backups through its model: delete one, write its comment.
class TestRestoreBackupActions : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    // Only what can be a backup is deleted: a folder of a backup's name keeps all its content.
    void deleteBackup_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("file") << "file" << true;
        QTest::newRow("link") << "link" << true;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("missing") << "missing" << false;
    }

    void deleteBackup()
    {
        QFETCH(QString, kind);
        QFETCH(bool, deleted);
        const QString name = QStringLiteral("Backup_2025-01-02_08-00-00.orlwen");
        QVERIFY(writeFile(path(QStringLiteral("ziel")), "Ziel des Links"));
        if (kind == QLatin1String("file"))
            QVERIFY(writeFile(path(name), "backup"));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(path(QStringLiteral("ziel")), path(name)));
        else if (kind == QLatin1String("folder"))
            QVERIFY(writeFile(path(name + QStringLiteral("/wichtig.txt")), "wichtig"));

        RestoreZipViewModel model;
        model.setSelectedURL(url(name));
        QFuture<bool> future = model.deleteBackup(url(name));
        QTRY_VERIFY(future.isFinished());
        QCOMPARE(future.result(), deleted);
        if (deleted) {
            QVERIFY(!QFileInfo(path(name)).exists() && !QFileInfo(path(name)).isSymLink());
            // A deleted backup is no longer the one to restore.
            QVERIFY(model.selectedURL().isEmpty());
            QVERIFY(model.warningText().isNull());
        } else {
            QCOMPARE(model.warningText(), RestoreZipViewModel::deletionFailedText());
            QCOMPARE(model.selectedURL(), url(name));
        }
        QVERIFY(QFile::exists(path(QStringLiteral("ziel"))));
        if (kind == QLatin1String("folder"))
            QVERIFY(QFile::exists(path(name + QStringLiteral("/wichtig.txt"))));
    }

    void deletingAnotherBackupKeepsTheSelection()
    {
        QVERIFY(writeFile(path(QStringLiteral("a.orlwen")), "a"));
        QVERIFY(writeFile(path(QStringLiteral("b.orlwen")), "b"));
        RestoreZipViewModel model;
        model.setSelectedURL(url(QStringLiteral("a.orlwen")));
        QFuture<bool> future = model.deleteBackup(url(QStringLiteral("b.orlwen")));
        QTRY_VERIFY(future.isFinished());
        QVERIFY(future.result());
        QCOMPARE(model.selectedURL(), url(QStringLiteral("a.orlwen")));
    }

    void saveComment_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("warning");
        QTest::newRow("new comment") << true << "Vor dem Update"
                                     << "Vor dem Update" << QString();
        QTest::newRow("empty comment") << true << "" << QString() << QString();
        QTest::newRow("too long") << true << QString(4001, QLatin1Char('k')) << QString(4000, QLatin1Char('k'))
                                  << "Der Kommentar ist zu lang und wurde auf 4000 Zeichen verkürzt.";
        QTest::newRow("backup gone") << false << "Kommentar" << QString()
                                     << "Der Kommentar konnte nicht hinzugefügt werden.";
    }

    void saveComment()
    {
        QFETCH(bool, exists);
        QFETCH(QString, comment);
        QFETCH(QString, stored);
        QFETCH(QString, warning);
        const QString name = QStringLiteral("Backup_2025-01-02_08-00-00.orlwen");
        if (exists) {
            QVERIFY(writeFile(path(name), "backup"));
            QVERIFY(setFinderComment(path(name), QStringLiteral("alt")));
        }
        RestoreZipViewModel model;
        QFuture<ArchiveResult> future = model.saveComment(url(name), comment);
        QTRY_VERIFY(future.isFinished());
        QCOMPARE(getFinderComment(path(name)).value_or(QString()), stored);
        QCOMPARE(model.warningText(), warning);
    }
};

TARN_TEST_MAIN(TestRestoreBackupActions)
#include "TestRestoreBackupActions.moc"
