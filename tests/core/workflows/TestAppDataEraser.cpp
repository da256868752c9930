#include "core/workflows/AppDataEraser.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThreadPool>

#include <chrono>
#include <thread>

#include <unistd.h>

// The erase removes ~/Library/Containers/de.orlwen/Data and nothing outside it.
class TestAppDataEraser : public QObject
{
    Q_OBJECT

    const QString m_container = QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen");
    const QString m_data = m_container + QStringLiteral("/Data");
    const QString m_outside = QDir::homePath() + QStringLiteral("/Draußen");
    QStringList m_mounts;

    static bool run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, arguments);
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0;
    }

    bool mount(const QStringList& arguments)
    {
        if (!QDir().mkpath(arguments.last()) || !run(QStringLiteral("mount"), arguments))
            return false;
        m_mounts.prepend(arguments.last());
        return true;
    }

private Q_SLOTS:
    void cleanup()
    {
        for (const QString& mountPoint : std::exchange(m_mounts, {}))
            run(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint});
    }

    void init()
    {
        QDir(m_container).removeRecursively();
        QDir(m_outside).removeRecursively();
        QVERIFY(writeFile(m_outside + QStringLiteral("/bleibt.txt"), "bleibt"));
        QVERIFY(QDir().mkpath(m_container));
    }

    void erase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("folder with content and links") << "folder" << true;
        QTest::newRow("link to a folder elsewhere") << "link" << true;
        QTest::newRow("plain file") << "file" << true;
        QTest::newRow("missing") << "missing" << false;
    }

    void erase()
    {
        QFETCH(QString, kind);
        QFETCH(bool, succeeds);
        if (kind == QLatin1String("folder")) {
            QVERIFY(writeFile(m_data + QStringLiteral("/db/bewohner.sqlite"), "daten"));
            QVERIFY(writeFile(m_data + QStringLiteral("/.versteckt"), "x"));
            QVERIFY(QFile::link(m_outside, m_data + QStringLiteral("/zum Ordner")));
            QVERIFY(QFile::link(m_outside + QStringLiteral("/bleibt.txt"), m_data + QStringLiteral("/db/zur Datei")));
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(m_outside, m_data));
        } else if (kind == QLatin1String("file")) {
            QVERIFY(writeFile(m_data, "keine Mappe"));
        }
        const QMap<QString, QString> outsideBefore = treeSnapshot(m_outside);

        const AppDataEraser::Outcome result = AppDataEraser::eraseAppData().result();
        QCOMPARE(bool(result), succeeds);
        if (!succeeds) {
            QCOMPARE(result.error().code, FinderCommentError::directoryNotFound);
            QVERIFY(result.error().refusal.isEmpty());
        }
        QVERIFY(!QFileInfo(m_data).exists());
        QVERIFY(!QFileInfo(m_data).isSymLink());
        // The container stays, and nothing a link pointed at is touched.
        QVERIFY(QFileInfo(m_container).isDir());
        QCOMPARE(treeSnapshot(m_outside), outsideBefore);
    }

    // A file system mounted inside Data is never entered: the erase stops before it removes anything
    // and names the mount. A bind mount would otherwise empty the folder it shows.
    void neverCrossesIntoAnotherFileSystem_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("mountPoint");
        QTest::newRow("tmpfs") << "tmpfs"
                               << "Laufwerk";
        QTest::newRow("bind mount of a folder outside, deep and with a blank") << "bind"
                                                                               << "db/Ordner von draußen";
    }

    void neverCrossesIntoAnotherFileSystem()
    {
        QFETCH(QString, kind);
        QFETCH(QString, mountPoint);
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("mounting needs root"));
        QVERIFY(writeFile(m_data + QStringLiteral("/db/bewohner.sqlite"), "daten"));
        QVERIFY(writeFile(m_data + QStringLiteral("/zuerst.txt"), "x"));
        const QString target = m_data + QLatin1Char('/') + mountPoint;
        if (kind == QLatin1String("tmpfs"))
            QVERIFY(mount({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("tarn-test"), target}));
        else
            QVERIFY(mount({QStringLiteral("--bind"), m_outside, target}));
        QVERIFY(writeFile(target + QStringLiteral("/auf dem Laufwerk.txt"), "bleibt"));
        const QMap<QString, QString> dataBefore = treeSnapshot(m_data);
        const QMap<QString, QString> outsideBefore = treeSnapshot(m_outside);

        const AppDataEraser::Outcome result = AppDataEraser::eraseAppData().result();
        QVERIFY(!result);
        QCOMPARE(result.error().refusal, AppDataEraser::mountInsideText(QFileInfo(target).canonicalFilePath()));
        QVERIFY(result.error().refusal.contains(mountPoint));
        QCOMPARE(treeSnapshot(m_data), dataBefore);
        QCOMPARE(treeSnapshot(m_outside), outsideBefore);

        // Even asked to remove the tree directly, the removal never enters the mount.
        QVERIFY(!AppDataEraser::removeItem(m_data));
        QFile kept(target + QStringLiteral("/auf dem Laufwerk.txt"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("bleibt"));
        QCOMPARE(treeSnapshot(m_outside), outsideBefore);
    }

    // The guard is asked after the mount check and before the removal; its objection keeps Data whole.
    void guardObjectionKeepsData()
    {
        QVERIFY(writeFile(m_data + QStringLiteral("/db/bewohner.sqlite"), "daten"));
        const QMap<QString, QString> dataBefore = treeSnapshot(m_data);
        int asked = 0;
        const AppDataEraser::Outcome result = AppDataEraser::eraseAppData([&asked]() -> std::optional<QString> {
                                                  ++asked;
                                                  return QStringLiteral("läuft wieder");
                                              }).result();
        QVERIFY(!result);
        QCOMPARE(result.error().refusal, QStringLiteral("läuft wieder"));
        QCOMPARE(asked, 1);
        QCOMPARE(treeSnapshot(m_data), dataBefore);
    }

    // The program waits for the global pool before it ends: an erase under way is part of that wait,
    // and Data is never left half removed when the program is asked to end.
    void eraseUnderWayFinishesBeforeTheProgramEnds()
    {
        QVERIFY(writeFile(m_data + QStringLiteral("/db/bewohner.sqlite"), "daten"));
        const auto erased = AppDataEraser::eraseAppData([]() -> std::optional<QString> {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return std::nullopt;
        });
        QThreadPool::globalInstance()->waitForDone();
        QVERIFY(erased.isFinished());
        QVERIFY(erased.result());
        QVERIFY(!QFileInfo::exists(m_data));
    }
};

TARN_TEST_MAIN(TestAppDataEraser)
#include "TestAppDataEraser.moc"
