#include "core/workflows/ContainerGuard.h"
#include "core/workflows/PathViewModel.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>

class TestPathViewModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QSettings().remove(PathViewModel::savedPathKey()); }

    void nothingStoredLeavesRestorePathAlone()
    {
        PathViewModel fresh;
        fresh.loadPath();
        QVERIFY(fresh.restorePath().isEmpty());

        PathViewModel chosen;
        const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/srv/backups"));
        chosen.setRestorePath(folder);
        chosen.loadPath();
        QCOMPARE(chosen.restorePath(), folder);
    }

    void pathRoundTrips_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "/home/user/Backups";
        QTest::newRow("blanks") << "/home/user/My Backups/Tarn Sicherung";
        QTest::newRow("umlauts") << "/home/user/Sicherungen für Jörg/Äußeres";
        QTest::newRow("percent and hash") << "/home/user/100% #1";
    }

    void pathRoundTrips()
    {
        QFETCH(QString, path);

        PathViewModel settingsTab;
        QSignalSpy changed(&settingsTab, &PathViewModel::restorePathChanged);
        settingsTab.setRestorePath(QUrl::fromLocalFile(path));
        QCOMPARE(changed.count(), 1);
        settingsTab.savePath();
        // Stored as the plain path text, not as a URL.
        QCOMPARE(QSettings().value(PathViewModel::savedPathKey()).toString(), path);

        PathViewModel reopened;
        QSignalSpy loaded(&reopened, &PathViewModel::restorePathChanged);
        reopened.loadPath();
        QCOMPARE(loaded.count(), 1);
        QVERIFY(reopened.restorePath().isLocalFile());
        QCOMPARE(reopened.restorePath().toLocalFile(), path);
        reopened.savePath();
        QCOMPARE(QSettings().value(PathViewModel::savedPathKey()).toString(), path);
    }

    void savingNothingKeepsStoredPath()
    {
        QSettings().setValue(PathViewModel::savedPathKey(), QStringLiteral("/kept"));
        PathViewModel model;
        model.savePath();
        QCOMPARE(QSettings().value(PathViewModel::savedPathKey()).toString(), QStringLiteral("/kept"));
    }

    void chosenFolderIsStoredUnlessItOverlapsTheContainer_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("refused");
        QTest::newRow("a folder of its own") << "Backups" << false;
        QTest::newRow("the container") << "Library/Containers/de.orlwen" << true;
        QTest::newRow("its data folder") << "Library/Containers/de.orlwen/Data" << true;
        QTest::newRow("a folder containing it") << "Library/Containers" << true;
    }

    void chosenFolderIsStoredUnlessItOverlapsTheContainer()
    {
        QFETCH(QString, relative);
        QFETCH(bool, refused);
        const QString home = QDir::homePath();
        QVERIFY(QDir().mkpath(home + QStringLiteral("/Library/Containers/de.orlwen/Data")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/Backups")));
        const QUrl before = QUrl::fromLocalFile(home + QStringLiteral("/Vorher"));
        QSettings().setValue(PathViewModel::savedPathKey(), before.toLocalFile());

        PathViewModel model;
        model.loadPath();
        const QUrl chosen = QUrl::fromLocalFile(home + QLatin1Char('/') + relative);
        const QFuture<Result<void, QString>> chosenLater = model.choosePath(chosen);
        QTRY_VERIFY(chosenLater.isFinished());
        const Result<void, QString> result = chosenLater.result();
        QCOMPARE(!result, refused);
        if (refused) {
            QCOMPARE(result.error(), ContainerGuard::refusalText());
        }
        QCOMPARE(model.restorePath(), refused ? before : chosen);
        QCOMPARE(QSettings().value(PathViewModel::savedPathKey()).toString(),
                 (refused ? before : chosen).toLocalFile());
    }

    void missingFolderLoadsUnchanged()
    {
        const QString gone = QStringLiteral("/no/such/folder");
        QSettings().setValue(PathViewModel::savedPathKey(), gone);
        PathViewModel model;
        model.loadPath();
        QCOMPARE(model.restorePath().toLocalFile(), gone);
    }
};

TARN_TEST_MAIN(TestPathViewModel)
#include "TestPathViewModel.moc"
