#include "core/archive/FinderComment.h"
#include "core/workflows/FolderMonitor.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "platform/FileSystemLanes.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

QStringList names(const QList<QUrl>& urls)
{
    QStringList result;
    for (const QUrl& url : urls)
        result.append(url.fileName());
    return result;
}

// The folder watches this process holds (worker threads hold descriptors of their own).
int watchDescriptorCount()
{
    int count = 0;
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::Files)) {
        char target[64] = {};
        if (::readlink(QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd).constData(), target,
                       sizeof target - 1) > 0 &&
            std::strcmp(target, "anon_inode:inotify") == 0)
            ++count;
    }
    return count;
}

// Date and comment of each listed backup, as "date|comment" ("date|" without a comment).
QStringList shown(const QList<BackupEntry>& backups)
{
    QStringList result;
    for (const BackupEntry& backup : backups)
        result.append(backup.dateText + QLatin1Char('|') + backup.comment.value_or(QString()));
    return result;
}

ArchiveResult failure(FinderCommentError::Code code, const QString& truncated = {})
{
    return fail(FinderCommentError(code, truncated));
}

} // namespace

class TestRestoreZipViewModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->filePath(QStringLiteral("backups"));
        QVERIFY(QDir().mkdir(m_folder));
    }

    void cleanup() { m_dir.reset(); }

    void listsVisibleEntriesByName()
    {
        for (const char* name :
             {"b-backup.orlwen", "a-backup.orlwen", ".hidden", ".Backup_2024-01-01_00-00-00.zip", "Zeta", "ä-umlaut"})
            QVERIFY(touch(m_folder + QLatin1Char('/') + QString::fromUtf8(name)));
        QVERIFY(QDir(m_folder).mkdir(QStringLiteral(".hiddenFolder")));
        // Only regular files can be backups.
        QVERIFY(QDir(m_folder).mkdir(QStringLiteral("Backup_2024-01-01_00-00-00.orlwen folder")));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(m_folder + QStringLiteral("/Backup_2024-01-02_00-00-00.orlwen")).constData(),
                     0600),
            0);
        QVERIFY(QFile::link(m_folder + QStringLiteral("/a-backup.orlwen"),
                            m_folder + QStringLiteral("/Backup_2024-01-03_00-00-00.orlwen")));

        RestoreZipViewModel model;
        model.setUrl(QUrl::fromLocalFile(m_folder));
        // Plain comparison of the names: upper case before lower case, umlauts after ASCII.
        const QStringList expected{QStringLiteral("Zeta"), QStringLiteral("a-backup.orlwen"),
                                   QStringLiteral("b-backup.orlwen"), QStringLiteral("ä-umlaut")};
        QTRY_COMPARE(names(model.files()), expected);
        for (const QUrl& url : model.files()) {
            QVERIFY(url.isLocalFile());
            QCOMPARE(QFileInfo(url.toLocalFile()).absolutePath(), m_folder);
        }
        QVERIFY(model.warningText().isNull());
    }

    // The first answer of the folder counts as listed, also when it holds no backup; no folder at all
    // has nothing to wait for.
    void listedOnceTheFolderAnswers_data()
    {
        QTest::addColumn<QString>("content");
        QTest::newRow("one backup") << "Backup_2024-12-24_18-30-05.orlwen";
        QTest::newRow("empty folder") << "";
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("no folder") << "none";
    }
    void listedOnceTheFolderAnswers()
    {
        QFETCH(QString, content);
        RestoreZipViewModel model;
        QSignalSpy listed(&model, &RestoreZipViewModel::isListedChanged);
        QVERIFY(!model.isListed());
        if (content == QLatin1String("none")) {
            model.setUrl(QUrl());
            QVERIFY(model.isListed());
            return;
        }
        if (content == QLatin1String("missing"))
            QVERIFY(QDir(m_folder).removeRecursively());
        else if (!content.isEmpty())
            QVERIFY(touch(m_folder + QLatin1Char('/') + content));
        model.setUrl(QUrl::fromLocalFile(m_folder));
        QVERIFY(!model.isListed());
        QTRY_VERIFY(model.isListed());
        QCOMPARE(listed.count(), 1);
        QCOMPARE(model.backups().size(), content.startsWith(QLatin1String("Backup_")) ? 1 : 0);
    }

    void missingFolderListsEmpty()
    {
        QVERIFY(touch(m_folder + QStringLiteral("/a.orlwen")));
        RestoreZipViewModel model;
        model.setUrl(QUrl::fromLocalFile(m_folder));
        QTRY_COMPARE(model.files().size(), 1);

        model.setUrl(QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("missing"))));
        QTRY_VERIFY(model.files().isEmpty());
        QVERIFY(model.warningText().isNull());
    }

    void changesInsideUpdateFilesOnMainThread()
    {
        QVERIFY(touch(m_folder + QStringLiteral("/a.orlwen")));
        RestoreZipViewModel model;
        int offThread = 0;
        connect(
            &model, &RestoreZipViewModel::filesChanged, this,
            [&] {
                if (QThread::currentThread() != QCoreApplication::instance()->thread())
                    ++offThread;
            },
            Qt::DirectConnection);
        model.setUrl(QUrl::fromLocalFile(m_folder));
        QTRY_COMPARE(names(model.files()), QStringList{QStringLiteral("a.orlwen")});

        QVERIFY(touch(m_folder + QStringLiteral("/b.orlwen")));
        QTRY_COMPARE(names(model.files()), (QStringList{QStringLiteral("a.orlwen"), QStringLiteral("b.orlwen")}));
        QVERIFY(QFile::rename(m_folder + QStringLiteral("/a.orlwen"), m_folder + QStringLiteral("/c.orlwen")));
        QTRY_COMPARE(names(model.files()), (QStringList{QStringLiteral("b.orlwen"), QStringLiteral("c.orlwen")}));
        QVERIFY(QFile::remove(m_folder + QStringLiteral("/b.orlwen")));
        QTRY_COMPARE(names(model.files()), QStringList{QStringLiteral("c.orlwen")});
        QCOMPARE(offThread, 0);
    }

    void newUrlReplacesWatch()
    {
        const QString other = m_dir->filePath(QStringLiteral("other"));
        QVERIFY(QDir().mkdir(other));
        RestoreZipViewModel model;
        model.setUrl(QUrl::fromLocalFile(m_folder));
        model.setUrl(QUrl::fromLocalFile(other));
        QVERIFY(touch(m_folder + QStringLiteral("/old.orlwen")));
        QVERIFY(touch(other + QStringLiteral("/new.orlwen")));
        QTRY_COMPARE(names(model.files()), QStringList{QStringLiteral("new.orlwen")});
        QCOMPARE(model.url().toLocalFile(), other);
    }

    void clearingUrlKeepsFilesAndStopsWatching()
    {
        QVERIFY(touch(m_folder + QStringLiteral("/a.orlwen")));
        const int before = watchDescriptorCount();
        RestoreZipViewModel model;
        model.setUrl(QUrl::fromLocalFile(m_folder));
        QTRY_COMPARE(model.files().size(), 1);
        QVERIFY(watchDescriptorCount() > before);

        QSignalSpy urlChanged(&model, &RestoreZipViewModel::urlChanged);
        model.setUrl(QUrl());
        QCOMPARE(urlChanged.count(), 1);
        QCOMPARE(watchDescriptorCount(), before);

        // Another watcher sees the change; by then the model would have been told too.
        QSemaphore seen;
        FolderMonitor witness(m_folder);
        witness.setFolderDidChange([&] { seen.release(); });
        witness.startMonitoring();
        QVERIFY(touch(m_folder + QStringLiteral("/b.orlwen")));
        QVERIFY(seen.tryAcquire(1, 10000));
        QCoreApplication::processEvents();
        QCOMPARE(names(model.files()), QStringList{QStringLiteral("a.orlwen")});
    }

    void backupsNewestFirstWithComments_data()
    {
        QTest::addColumn<bool>("onExfat");
        QTest::newRow("ext4") << false;
        QTest::newRow("exFAT") << true;
    }

    // The list as the restore screen shows it: only backups, newest first, each with its date and its
    // comment, wherever the file system keeps it.
    void backupsNewestFirstWithComments()
    {
        QFETCH(bool, onExfat);
        std::unique_ptr<MountedImage> stick;
        QString folder = m_folder;
        if (onExfat) {
            stick = std::make_unique<MountedImage>(MountedImage::Kind::exfat);
            if (!stick->isMounted())
                TARN_SKIP_UNLESS_PRIVILEGED(stick->skipReason());
            folder = stick->path() + QStringLiteral("/Backups");
            QVERIFY(QDir().mkpath(folder));
        }
        for (const char* name : {"Backup_2024-12-24_18-30-05.orlwen", "Backup_2025-01-02_08-00-00.orlwen",
                                 "Backup_2025-01-02_08-00-00.zip", "Notizen.orlwen", "Backup_kaputt.orlwen",
                                 "Backup_2025-01-02_07-59-59.orlwen"})
            QVERIFY(touch(folder + QLatin1Char('/') + QString::fromUtf8(name)));
        const QString umlauts = QString(4000, QChar(0x00E4));
        QVERIFY(setFinderComment(folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"), umlauts));
        QVERIFY(setFinderComment(folder + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen"),
                                 QStringLiteral("Weihnachten")));
        // Comment files whose backups are gone are no entries and no comments.
        QVERIFY(writeFile(folder + QStringLiteral("/.Backup_2023-01-01_00-00-00.orlwen.comment"), "verwaist"));

        RestoreZipViewModel model;
        model.setUrl(QUrl::fromLocalFile(folder));
        QTRY_COMPARE(
            shown(model.backups()),
            (QStringList{QStringLiteral("02.01.2025 08:00:00|") + umlauts, QStringLiteral("02.01.2025 07:59:59|"),
                         QStringLiteral("24.12.2024 18:30:05|Weihnachten")}));
        QCOMPARE(model.backups().first().url.toLocalFile(),
                 folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"));
        QCOMPARE(model.files().size(), 6);

        // An edit shows in the list, though an attribute changes no folder entry.
        QSignalSpy listed(&model, &RestoreZipViewModel::backupsChanged);
        const QUrl last = model.backups().last().url;
        QVERIFY(model.saveComment(last, QStringLiteral("Heiligabend")).isValid());
        QTRY_COMPARE(shown(model.backups()).last(), QStringLiteral("24.12.2024 18:30:05|Heiligabend"));
        QVERIFY(model.warningText().isNull());

        // A deleted backup takes its comment file along.
        const QUrl first = model.backups().first().url;
        QSignalSpy deleted(&model, &RestoreZipViewModel::selectedURLChanged);
        QFuture<bool> removal = model.deleteBackup(first);
        QTRY_VERIFY(removal.isFinished());
        QVERIFY(removal.result());
        QVERIFY(!QFileInfo::exists(first.toLocalFile()));
        QVERIFY(!QFileInfo::exists(commentFilePath(first.toLocalFile())));
        QTRY_COMPARE(model.backups().size(), 2);
    }

    // A folder that does not answer (a stalled network or USB file system) never holds up the thread of
    // the model: it is watched and listed off it, and the list follows once the folder answers.
    void stalledFolderNeverBlocks()
    {
        MountedImage stick(MountedImage::Kind::exfat);
        if (!stick.isMounted())
            TARN_SKIP_UNLESS_PRIVILEGED(stick.skipReason());
        const QString folder = stick.path() + QStringLiteral("/Backups");
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < 3; ++i)
            QVERIFY(touch(folder + QStringLiteral("/Backup_2025-01-0%1_08-00-00.orlwen").arg(i + 1)));
        QVERIFY(setFinderComment(folder + QStringLiteral("/Backup_2025-01-01_08-00-00.orlwen"), QStringLiteral("alt")));

        QVERIFY(stick.stall());
        // Should this thread block after all, the file system is let go after a while, so the test ends.
        QSemaphore finished;
        std::atomic<bool> letGoByWatchdog{false};
        std::thread watchdog([&] {
            if (!finished.tryAcquire(1, 10000)) {
                letGoByWatchdog = true;
                stick.resume();
            }
        });
        auto model = std::make_unique<RestoreZipViewModel>();
        model->setUrl(QUrl::fromLocalFile(folder));
        QCoreApplication::processEvents();
        const bool returnedWhileStalled = !letGoByWatchdog;
        finished.release();
        watchdog.join();
        QVERIFY2(returnedWhileStalled, "setUrl() waited for the stalled folder");
        QVERIFY(model->backups().isEmpty());

        QVERIFY(stick.resume());
        QTRY_COMPARE(model->backups().size(), 3);
        QCOMPARE(model->backups().last().comment, std::optional<QString>(QStringLiteral("alt")));
        // Still watched: a new backup shows up.
        QVERIFY(touch(folder + QStringLiteral("/Backup_2025-01-09_08-00-00.orlwen")));
        QTRY_COMPARE(model->backups().size(), 4);
    }

    void restoreWithoutSelectionFails()
    {
        RestoreZipViewModel model;
        const QFuture<ArchiveResult> future = model.restoreBackup(QStringLiteral("secret"));
        QVERIFY(future.isFinished()); // the engine was never asked
        QCOMPARE(future.result().error().code, FinderCommentError::encryptedFileNotFound);
        model.handleResult(future.result());
        QCOMPARE(model.warningText(),
                 QStringLiteral("Die verschlüsselte Datei wurde nicht gefunden oder nicht bereitgestellt."));
    }

    void containerIsUnderHome()
    {
        QCOMPARE(RestoreZipViewModel::containerURL().toLocalFile(),
                 QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen"));
    }

    void warningTexts_data()
    {
        using E = FinderCommentError;
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("truncated");
        QTest::addColumn<QString>("text");

        QTest::newRow("commentTooLong") << int(E::commentTooLong) << QString(4000, QLatin1Char('a'))
                                        << "Der Kommentar ist zu lang und wurde auf 4000 Zeichen verkürzt.";
        // Three letters with combining accents and a family emoji: four characters to the user.
        QTest::newRow("commentTooLong, combined characters")
            << int(E::commentTooLong)
            << QStringLiteral("e\u0301a\u0308o\u0302\U0001F468\u200D\U0001F469\u200D\U0001F467")
            << "Der Kommentar ist zu lang und wurde auf 4 Zeichen verkürzt.";
        QTest::newRow("failedToAddComment")
            << int(E::failedToAddComment) << QString() << "Der Kommentar konnte nicht hinzugefügt werden.";
        QTest::newRow("invalidEncoding") << int(E::invalidEncoding) << QString()
                                         << "Die Kodierung des Kommentars ist ungültig.";
        QTest::newRow("directoryNotFound")
            << int(E::directoryNotFound) << QString() << "Das Zielverzeichnis wurde nicht gefunden.";
        QTest::newRow("archiveCreationFailed")
            << int(E::archiveCreationFailed) << QString() << "Fehler beim Erstellen oder Wiederherstellen des Archivs.";
        QTest::newRow("encryptedFileNotFound")
            << int(E::encryptedFileNotFound) << QString()
            << "Die verschlüsselte Datei wurde nicht gefunden oder nicht bereitgestellt.";
        QTest::newRow("missingEndOfCentralDirectoryRecord")
            << int(E::missingEndOfCentralDirectoryRecord) << QString()
            << "Das Archiv ist beschädigt: Die End-of-Central-Directory-Record fehlt.";
        QTest::newRow("decryptionFailed")
            << int(E::decryptionFailed) << QString()
            << "Die Entschlüsselung ist fehlgeschlagen. Bitte überprüfen Sie Ihr Passwort.";
        QTest::newRow("insufficientPermissions") << int(E::insufficientPermissions) << QString()
                                                 << "Unzureichende Berechtigungen, um die Operation durchzuführen.";
    }

    void warningTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, truncated);
        QFETCH(QString, text);
        RestoreZipViewModel model;
        QSignalSpy changed(&model, &RestoreZipViewModel::warningTextChanged);
        model.handleResult(failure(static_cast<FinderCommentError::Code>(code), truncated));
        QCOMPARE(model.warningText(), text);
        QCOMPARE(changed.count(), 1);
    }

    void successKeepsEarlierWarning()
    {
        RestoreZipViewModel model;
        model.handleResult(failure(FinderCommentError::directoryNotFound));
        const QString earlier = model.warningText();
        model.handleResult(ArchiveResult());
        QCOMPARE(model.warningText(), earlier);
    }

    void destroyedWithListingsInFlight()
    {
        const int before = watchDescriptorCount();
        for (int i = 0; i < 20; ++i) {
            auto* model = new RestoreZipViewModel;
            model->setUrl(QUrl::fromLocalFile(m_folder));
            QVERIFY(touch(m_folder + QStringLiteral("/f%1").arg(i)));
            delete model;
        }
        // A watch still being started off this thread closes once its start has ended.
        QTRY_VERIFY(!FileSystemLanes::isBusy());
        QCOMPARE(watchDescriptorCount(), before);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

TARN_TEST_MAIN(TestRestoreZipViewModel)
#include "TestRestoreZipViewModel.moc"
