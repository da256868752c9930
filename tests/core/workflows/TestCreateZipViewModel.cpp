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

#include <dirent.h>

namespace {

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

            model.setZipStatusMessage({});
            QVERIFY(QDir().mkpath(folder));
            QTRY_COMPARE(model.isDirectoryAvailable(), true);
            QVERIFY(model.zipStatusMessage().isNull());
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
