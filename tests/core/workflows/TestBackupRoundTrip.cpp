#include "core/archive/FinderComment.h"
#include "core/workflows/CreateZipViewModel.h"
#include "core/workflows/PathViewModel.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QThreadPool>

namespace {

constexpr int engineTimeout = 60000;

} // namespace

class TestBackupRoundTrip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_data = CreateZipViewModel::appDataFolderURL().toLocalFile();
        QDir(m_data).removeRecursively();
        QVERIFY(writeFile(m_data + QStringLiteral("/notes.txt"), "Hallo"));
        QVERIFY(writeFile(m_data + QStringLiteral("/Unterordner/tief/daten.bin"), randomBytes(300 * 1024, 7)));
        QVERIFY(writeFile(m_data + QStringLiteral("/leer.txt"), {}));
        QVERIFY(writeFile(m_data + QStringLiteral("/Umlaut äöü ß.txt"), "Grüße"));
        QVERIFY(writeFile(m_data + QStringLiteral("/.einstellungen"), "versteckt"));
        QVERIFY(QDir(m_data).mkdir(QStringLiteral("leerer Ordner")));

        // A fresh backup folder per test, so that backups made in the same second never meet.
        m_backups = QDir::homePath() + QStringLiteral("/Sicherungen %1").arg(++m_round);
        QVERIFY(QDir().mkpath(m_backups));
        QSettings().setValue(PathViewModel::savedPathKey(), m_backups);
    }

    void cleanup()
    {
        // Let any engine work finish before the next test touches the same folders.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }

    void createThenRestoreBringsDataBack()
    {
        const QMap<QString, QString> original = treeSnapshot(m_data);

        CreateZipViewModel create;
        create.setComment(QStringLiteral("Vor dem Update"));
        const QFuture<ArchiveResult> created = create.createZip(QStringLiteral("geheim1"));
        QTRY_VERIFY_WITH_TIMEOUT(created.isFinished(), engineTimeout);
        QVERIFY2(created.result(), created.result() ? "" : FinderCommentError::name(created.result().error().code));

        RestoreZipViewModel restore;
        restore.setUrl(QUrl::fromLocalFile(m_backups));
        QTRY_COMPARE(restore.files().size(), 1);
        const QUrl backup = restore.files().constFirst();
        static const QRegularExpression name(
            QStringLiteral("^Backup_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.orlwen$"));
        QVERIFY2(name.match(backup.fileName()).hasMatch(), qPrintable(backup.fileName()));
        QCOMPARE(getFinderComment(backup.toLocalFile()), std::optional<QString>(QStringLiteral("Vor dem Update")));

        // The user goes on working, then restores.
        QVERIFY(QFile::remove(m_data + QStringLiteral("/notes.txt")));
        QVERIFY(writeFile(m_data + QStringLiteral("/neu.txt"), "neu"));
        QVERIFY(writeFile(m_data + QStringLiteral("/Unterordner/tief/daten.bin"), "überschrieben"));
        QVERIFY(treeSnapshot(m_data) != original);

        restore.setSelectedURL(backup);
        const QFuture<ArchiveResult> restored = restore.restoreBackup(QStringLiteral("geheim1"));
        QTRY_VERIFY_WITH_TIMEOUT(restored.isFinished(), engineTimeout);
        QVERIFY2(restored.result(), restored.result() ? "" : FinderCommentError::name(restored.result().error().code));
        restore.handleResult(restored.result());
        QVERIFY(restore.warningText().isNull());
        QCOMPARE(treeSnapshot(m_data), original);
    }

    void failedRestoreWarnsAndKeepsData_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("corrupt");
        QTest::newRow("wrong password") << "falsch" << false;
        QTest::newRow("not a backup") << "geheim1" << true;
    }

    void failedRestoreWarnsAndKeepsData()
    {
        QFETCH(QString, password);
        QFETCH(bool, corrupt);

        QUrl backup;
        if (corrupt) {
            const QString path = m_backups + QStringLiteral("/Backup_2020-01-01_00-00-00.orlwen");
            QVERIFY(writeFile(path, randomBytes(4096, 7)));
            backup = QUrl::fromLocalFile(path);
        } else {
            CreateZipViewModel create;
            const QFuture<ArchiveResult> created = create.createZip(QStringLiteral("geheim1"));
            QTRY_VERIFY_WITH_TIMEOUT(created.isFinished(), engineTimeout);
            QVERIFY(created.result());
            const QStringList made = QDir(m_backups).entryList(QDir::Files);
            QCOMPARE(made.size(), 1);
            backup = QUrl::fromLocalFile(m_backups + QLatin1Char('/') + made.constFirst());
            QCOMPARE(getFinderComment(backup.toLocalFile()), std::nullopt); // an empty comment writes none
        }
        QVERIFY(writeFile(m_data + QStringLiteral("/nach dem Backup.txt"), "bleibt"));
        const QMap<QString, QString> before = treeSnapshot(m_data);

        RestoreZipViewModel restore;
        restore.setSelectedURL(backup);
        const QFuture<ArchiveResult> restored = restore.restoreBackup(password);
        QTRY_VERIFY_WITH_TIMEOUT(restored.isFinished(), engineTimeout);
        QVERIFY(!restored.result());
        const auto code = restored.result().error().code;
        QVERIFY2(code == FinderCommentError::archiveCreationFailed ||
                     code == FinderCommentError::missingEndOfCentralDirectoryRecord,
                 FinderCommentError::name(code));
        restore.handleResult(restored.result());
        QCOMPARE(restore.warningText(),
                 code == FinderCommentError::archiveCreationFailed
                     ? QStringLiteral("Fehler beim Erstellen oder Wiederherstellen des Archivs.")
                     : QStringLiteral("Das Archiv ist beschädigt: Die End-of-Central-Directory-Record fehlt."));
        QCOMPARE(treeSnapshot(m_data), before);
    }

    void modelsClosedWhileEngineWorks()
    {
        auto* create = new CreateZipViewModel;
        const QFuture<ArchiveResult> created = create->createZip(QStringLiteral("geheim1"));
        delete create;
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QTRY_VERIFY(created.isFinished());
        QVERIFY(created.isCanceled()); // nobody is left to hand the result to

        // The engine still finished its work: one backup, no temporary file left.
        const QStringList made = QDir(m_backups).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(made.size(), 1);

        auto* restore = new RestoreZipViewModel;
        restore->setSelectedURL(QUrl::fromLocalFile(m_backups + QLatin1Char('/') + made.constFirst()));
        const QFuture<ArchiveResult> restored = restore->restoreBackup(QStringLiteral("geheim1"));
        delete restore;
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QTRY_VERIFY(restored.isFinished());
        QVERIFY(restored.isCanceled());
    }

private:
    QString m_data;
    QString m_backups;
    int m_round = 0;
};

TARN_TEST_MAIN(TestBackupRoundTrip)
#include "TestBackupRoundTrip.moc"
