#include "core/workflows/CreateZipViewModel.h"
#include "core/workflows/PathViewModel.h"
#include "platform/FileSystemLanes.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace {

// The folder watches this process holds.
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

} // namespace

class TestCreateZipViewModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QSettings().remove(PathViewModel::savedPathKey());
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_offThreadChanges = 0;
    }

    void cleanup() { m_dir.reset(); }

    // The folder is looked at off this thread: a new model says so until the answer is in, and is
    // then watching the folder. Without a folder there is nothing to wait for.
    void firstAnswerIsAwaited_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("available");
        QTest::newRow("no folder") << QString() << true;
        QTest::newRow("existing folder") << QStringLiteral("backups") << true;
        QTest::newRow("missing folder") << QStringLiteral("fehlt/backups") << false;
    }

    void firstAnswerIsAwaited()
    {
        QFETCH(QString, folder);
        QFETCH(bool, available);
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("backups"))));
        if (folder.isEmpty())
            QSettings().remove(PathViewModel::savedPathKey());
        else
            QSettings().setValue(PathViewModel::savedPathKey(), m_dir->filePath(folder));
        const int before = watchDescriptorCount();
        CreateZipViewModel model;
        QSignalSpy checked(&model, &CreateZipViewModel::isDirectoryCheckedChanged);
        QCOMPARE(model.isDirectoryChecked(), folder.isEmpty());
        QVERIFY(model.isDirectoryAvailable());
        QCOMPARE(watchDescriptorCount(), before);
        if (folder.isEmpty())
            return;
        QTRY_VERIFY(model.isDirectoryChecked());
        QCOMPARE(checked.count(), 1);
        QCOMPARE(model.isDirectoryAvailable(), available);
        QCOMPARE(watchDescriptorCount(), before + 1);
    }

    void withoutSavedPathNothingIsWatchedAndCreateFails()
    {
        const int before = openDescriptorCount();
        CreateZipViewModel model;
        QVERIFY(model.destinationPath().isEmpty());
        QCOMPARE(openDescriptorCount(), before);
        QCoreApplication::processEvents();
        QVERIFY(model.isDirectoryAvailable());
        QVERIFY(model.zipStatusMessage().isEmpty());

        // Finished on return: the engine, which always works off this thread, was never asked.
        const QFuture<ArchiveResult> future = model.createZip(QStringLiteral("secret"));
        QVERIFY(future.isFinished());
        QVERIFY(!future.result());
        QCOMPARE(future.result().error().code, FinderCommentError::archiveCreationFailed);
    }

    void dataFolderIsUnderHome()
    {
        QCOMPARE(CreateZipViewModel::appDataFolderURL().toLocalFile(),
                 QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen/Data"));
    }

    void missingSavedFolderIsReportedAndNoticedWhenCreated_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("folder missing") << "backups";
        QTest::newRow("parent missing too") << "outer/inner/backups";
    }

    void missingSavedFolderIsReportedAndNoticedWhenCreated()
    {
        QFETCH(QString, relative);
        const QString folder = m_dir->filePath(relative);
        QSettings().setValue(PathViewModel::savedPathKey(), folder);

        CreateZipViewModel model;
        watchThreads(model);
        QCOMPARE(model.destinationPath().toLocalFile(), folder);
        QTRY_COMPARE(model.isDirectoryAvailable(), false);
        QCOMPARE(model.zipStatusMessage(), CreateZipViewModel::missingFolderText());

        // Created step by step, as a user would.
        QString partial = m_dir->path();
        for (const QString& part : relative.split(QLatin1Char('/'))) {
            partial += QLatin1Char('/') + part;
            QVERIFY(QDir().mkdir(partial));
        }
        QTRY_COMPARE(model.isDirectoryAvailable(), true);
        // The warning stays until the screen clears it.
        QCOMPARE(model.zipStatusMessage(), CreateZipViewModel::missingFolderText());
        QCOMPARE(m_offThreadChanges, 0);
    }

    void plainFileIsNoBackupFolder()
    {
        const QString path = m_dir->filePath(QStringLiteral("backups"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSettings().setValue(PathViewModel::savedPathKey(), path);

        CreateZipViewModel model;
        QTRY_COMPARE(model.isDirectoryAvailable(), false);
        QCOMPARE(model.zipStatusMessage(), CreateZipViewModel::missingFolderText());

        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        QTRY_COMPARE(model.isDirectoryAvailable(), true);
    }

    void folderLeavingAndComingBackIsNoticed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("removed") << "remove";
        QTest::newRow("renamed away") << "rename";
        QTest::newRow("parent removed") << "removeParent";
    }

    void folderLeavingAndComingBackIsNoticed()
    {
        QFETCH(QString, how);
        const QString parent = m_dir->filePath(QStringLiteral("parent"));
        const QString folder = parent + QStringLiteral("/backups");
        QVERIFY(QDir().mkpath(folder));
        QSettings().setValue(PathViewModel::savedPathKey(), folder);

        CreateZipViewModel model;
        watchThreads(model);
        QSignalSpy availability(&model, &CreateZipViewModel::isDirectoryAvailableChanged);
        QCoreApplication::processEvents();
        QVERIFY(model.isDirectoryAvailable());
        QVERIFY(model.zipStatusMessage().isNull());

        for (int round = 0; round < 2; ++round) {
            if (how == QLatin1String("remove"))
                QVERIFY(QDir(folder).removeRecursively());
            else if (how == QLatin1String("rename"))
                QVERIFY(QDir().rename(folder, m_dir->filePath(QStringLiteral("elsewhere%1").arg(round))));
            else
                QVERIFY(QDir(parent).removeRecursively());
            QTRY_COMPARE(model.isDirectoryAvailable(), false);
            QCOMPARE(model.zipStatusMessage(), CreateZipViewModel::missingFolderText());

            // A check finding the folder again leaves the message for the screen to clear; checks that
            // were still under way when it came back may have set it once more meanwhile.
            QVERIFY(QDir().mkpath(folder));
            QTRY_COMPARE(model.isDirectoryAvailable(), true);
            QCOMPARE(model.zipStatusMessage(), CreateZipViewModel::missingFolderText());
            model.setZipStatusMessage({});
        }
        QCOMPARE(availability.count(), 4);
        QCOMPARE(m_offThreadChanges, 0);
    }

    void folderReplacedAtOnceIsStillWatched()
    {
        const QString folder = m_dir->filePath(QStringLiteral("backups"));
        QVERIFY(QDir().mkdir(folder));
        QSettings().setValue(PathViewModel::savedPathKey(), folder);
        CreateZipViewModel model;
        QCoreApplication::processEvents();

        // Gone and back before the model looks: the new folder must be the one watched now.
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QDir().mkdir(folder));
        QTRY_COMPARE(model.isDirectoryAvailable(), true);
        QVERIFY(QDir(folder).removeRecursively());
        QTRY_COMPARE(model.isDirectoryAvailable(), false);
    }

    void destroyedWithChecksInFlight()
    {
        const QString folder = m_dir->filePath(QStringLiteral("backups"));
        QVERIFY(QDir().mkdir(folder));
        QSettings().setValue(PathViewModel::savedPathKey(), folder);
        const int before = openDescriptorCount();
        for (int i = 0; i < 20; ++i) {
            auto* model = new CreateZipViewModel;
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(QDir().mkdir(folder));
            delete model;
        }
        QCoreApplication::processEvents();
        QTRY_VERIFY(!FileSystemLanes::isBusy());
        QCOMPARE(openDescriptorCount(), before);
    }

private:
    void watchThreads(CreateZipViewModel& model)
    {
        auto check = [this] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                ++m_offThreadChanges;
        };
        connect(&model, &CreateZipViewModel::isDirectoryAvailableChanged, this, check, Qt::DirectConnection);
        connect(&model, &CreateZipViewModel::zipStatusMessageChanged, this, check, Qt::DirectConnection);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::atomic<int> m_offThreadChanges{0};
};

TARN_TEST_MAIN(TestCreateZipViewModel)
#include "TestCreateZipViewModel.moc"
