#include "core/archive/ArchiveCipher.h"
#include "core/archive/EncryptionService.h"
#include "core/archive/RestoreJournal.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/FuseMount.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <archive_entry.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString password = QStringLiteral("Prozess 1");

QByteArray masked(const QByteArray& bytes)
{
    QByteArray out = bytes;
    for (char& c : out)
        c = char(c ^ 0x5A);
    return out.toHex();
}

struct Run
{
    int exitCode = -1;
    bool crashed = false;
    bool timedOut = false;
    QByteArray out;
    QByteArray err;
};

Run runEngine(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TARN_ENGINE_RUNNER), arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        run.timedOut = true;
        process.kill();
        process.waitForFinished();
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

// The engine in a process of its own: killed at any point, without root's disregard for file
// permissions, on a kernel that refuses the atomic exchange, and inspected for key material.
class TestEngineProcesses : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<FuseMount> m_mount;
    std::unique_ptr<MountedImage> m_image;
    QString m_container;
    QString m_backupA;
    QString m_backupB;
    QMap<QString, QString> m_treeA;
    QMap<QString, QString> m_treeB;
    QStringList m_runnerOptions; // how the engine runs: on a kernel that refuses the exchange, or not

    QString path(const QString& name) const { return m_dir->path(name); }
    QString data() const { return m_container + QStringLiteral("/Data"); }

    QString writeBackup(const QString& name, const QList<ZipItem>& items, QMap<QString, QString>* tree) const
    {
        const QString file = path(QStringLiteral("backups/") + name);
        if (!writeFile(file, encryptBackup(makeZip(items), password)))
            return {};
        const QString reference = path(QStringLiteral("reference-") + name);
        if (!restoreBackup(file, reference, password))
            return {};
        *tree = treeSnapshot(reference + QStringLiteral("/Data"));
        return file;
    }

    // Why the container cannot be had here, or nothing.
    static QString unavailable(const QString& where)
    {
        if (where == QLatin1String("bindfs") || where == QLatin1String("exFAT"))
            return FuseMount::unavailableReason();
        if (where.startsWith(QLatin1String("ext4")) && ::geteuid() != 0)
            return QStringLiteral("mounting an image needs root");
        return {};
    }

    // The container for a test, holding Data with backup A: on the local file system with or
    // without the atomic exchange, on a fresh ext4 or exFAT image of its own (needs root), or on a FUSE
    // file system, which refuses the exchange by itself. The test function checks unavailable() first.
    void useContainer(const QString& where)
    {
        m_runnerOptions.clear();
        if (where.startsWith(QLatin1String("ext4")) || where == QLatin1String("exFAT")) {
            m_image = std::make_unique<MountedImage>(
                where == QLatin1String("exFAT") ? MountedImage::Kind::exfat : MountedImage::Kind::ext4, 64);
            QVERIFY2(m_image->isMounted(), qPrintable(m_image->skipReason()));
            m_container = m_image->path() + QStringLiteral("/container");
            if (where.endsWith(QLatin1String("refused exchange")))
                m_runnerOptions << QStringLiteral("--refuse-exchange");
        } else if (where == QLatin1String("bindfs")) {
            m_mount = std::make_unique<FuseMount>(path(QStringLiteral("lower")), path(QStringLiteral("fuse")));
            QVERIFY2(m_mount->isMounted(), qPrintable(m_mount->error()));
            m_container = m_mount->path() + QStringLiteral("/container");
        } else {
            m_container = path(QStringLiteral("container"));
            if (where == QLatin1String("refused exchange"))
                m_runnerOptions << QStringLiteral("--refuse-exchange");
        }
        QVERIFY(restoreBackup(m_backupA, m_container, password));
        QCOMPARE(treeSnapshot(data()), m_treeA);
    }

    QStringList runnerArguments(const QStringList& options, const QStringList& command) const
    {
        return m_runnerOptions + options + command;
    }

    QStringList loopArguments(const QStringList& options) const
    {
        return runnerArguments(options, {QStringLiteral("restore-loop"), m_backupB, m_backupA, m_container, password});
    }

    // After a kill and the next start: Data was whole all along (or missing while its old
    // content was whole beside it), the recovery changes no whole Data and brings a missing one
    // back as it was, and nothing else is left. With `freshData`, a missing Data is made anew
    // before the recovery, as the sibling app does when it starts first: the whole old content
    // must then be kept in its visible folder, and goes back to Data for the next round.
    // Returns whether Data was missing.
    bool verifyRecovered(const QString& context, bool freshData = false)
    {
        const auto failed = [&](const QString& what) {
            QTest::qFail(qPrintable(context + QStringLiteral(": ") + what), __FILE__, __LINE__);
            return false;
        };
        const bool hadData = QFileInfo::exists(data());
        QMap<QString, QString> whole;
        if (hadData) {
            // Killed before its removal, the mark of the restore is still in Data.
            whole = treeSnapshot(data());
            whole.removeIf([](const auto& item) {
                return item.key().startsWith(QString::fromLatin1(RestoreJournal::markPrefix));
            });
            if (whole != m_treeA && whole != m_treeB)
                return failed(QStringLiteral("Data is incomplete before the recovery"));
        } else {
            // Between the two renames: the old content is whole under its aside name.
            for (const QString& name : entriesOf(m_container)) {
                const QMap<QString, QString> tree = treeSnapshot(m_container + QLatin1Char('/') + name);
                if (name.startsWith(QLatin1String(".OldData.")) && (tree == m_treeA || tree == m_treeB))
                    whole = tree;
            }
            if (whole.isEmpty())
                return failed(QStringLiteral("no Data and no whole old content: ") + entriesOf(m_container).join(u','));
        }
        const bool makeFresh = freshData && !hadData;
        if (makeFresh && !writeFile(data() + QStringLiteral("/frisch.txt"), "frisch"))
            return failed(QStringLiteral("cannot make a fresh Data"));
        const QMap<QString, QString> dataBefore = treeSnapshot(data());

        const RecoveryResult recovered = recoverContainer(m_container);
        if (!recovered || (recovered->outcome == RestoreRecovery::Outcome::keptAside) != makeFresh)
            return failed(QString::fromLatin1(outcomeName(recovered)));
        const QMap<QString, QString> dataAfter = treeSnapshot(data());
        if (makeFresh) {
            if (dataAfter != dataBefore)
                return failed(QStringLiteral("the recovery changed the fresh Data"));
            if (treeSnapshot(recovered->keptFolder) != whole)
                return failed(QStringLiteral("the old content was not kept whole"));
            if (!QDir(data()).removeRecursively() || !QFile::rename(recovered->keptFolder, data()))
                return failed(QStringLiteral("cannot put the kept content back"));
        } else if (dataAfter != whole) {
            return failed(QStringLiteral("the recovery changed Data"));
        }
        if (entriesOf(m_container) != QStringList{QStringLiteral("Data")})
            return failed(QStringLiteral("left ") + entriesOf(m_container).join(u','));
        return !hadData;
    }

    // Runs the restore loop and kills it once the `count`-th marker named `point` has shown (any
    // marker when `point` is empty), after `delayMSecs` more. False when the loop ended first or
    // the marker did not come within a minute.
    bool killAtMarker(QProcess* process, const QString& point, int count, int delayMSecs, QString* last)
    {
        process->start(QStringLiteral(TARN_ENGINE_RUNNER), loopArguments({QStringLiteral("--markers")}));
        int seen = 0;
        // A point that never comes ends the wait, not the test run.
        const QDeadlineTimer deadline(60000);
        while (seen < count && process->state() != QProcess::NotRunning && !deadline.hasExpired()) {
            if (!process->canReadLine() && !process->waitForReadyRead(int(deadline.remainingTime())))
                break;
            while (process->canReadLine() && seen < count) {
                *last = QString::fromLatin1(process->readLine().trimmed());
                if (point.isEmpty() || *last == point)
                    ++seen;
            }
        }
        if (seen == count && delayMSecs > 0)
            QThread::usleep(ulong(delayMSecs) * 1000);
        process->kill();
        process->waitForFinished();
        return seen == count;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScratchDir>();
        QVERIFY(m_dir->isValid());
        QList<ZipItem> a{{"Data/", AE_IFDIR, {}}};
        QList<ZipItem> b{{"Data/", AE_IFDIR, {}}};
        // Enough files that removing a tree takes a while on a FUSE file system.
        for (int i = 0; i < 24; ++i) {
            const QByteArray n = QByteArray::number(i);
            a.append({"Data/a/" + QByteArray::number(i % 4) + "/" + n, AE_IFREG, "A " + n});
            b.append({"Data/b/" + QByteArray::number(i % 3) + "/" + n, AE_IFREG, "B " + n + QByteArray(i * 100, 'b')});
        }
        b.append({"Data/nur lesen/", AE_IFDIR, {}, 0555});
        m_backupA = writeBackup(QStringLiteral("Backup_2024-01-01_00-00-00.orlwen"), a, &m_treeA);
        m_backupB = writeBackup(QStringLiteral("Backup_2024-01-02_00-00-00.orlwen"), b, &m_treeB);
        QVERIFY(!m_backupA.isEmpty() && !m_backupB.isEmpty());
    }

    void cleanup()
    {
        // Unmounted first, so that the scratch folder's removal does not run into the mount.
        m_mount.reset();
        m_image.reset();
        m_dir.reset();
    }

    void fileSystemRefusesTheFlags()
    {
        if (const QString why = unavailable(QStringLiteral("bindfs")); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(QStringLiteral("bindfs"));
        if (QTest::currentTestFailed())
            return;
        const QByteArray root = QFile::encodeName(m_container);
        QVERIFY(QDir().mkpath(m_container + QStringLiteral("/x")));
        const int exchanged =
            ::renameat2(AT_FDCWD, (root + "/x").constData(), AT_FDCWD, (root + "/Data").constData(), RENAME_EXCHANGE);
        const int exchangeError = errno;
        const int noReplace =
            ::renameat2(AT_FDCWD, (root + "/x").constData(), AT_FDCWD, (root + "/y").constData(), RENAME_NOREPLACE);
        const int noReplaceError = errno;
        QCOMPARE(exchanged, -1);
        QCOMPARE(exchangeError, EINVAL);
        QCOMPARE(noReplace, -1);
        QCOMPARE(noReplaceError, EINVAL);
    }

    void restoresWithoutAtomicExchange_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("kernel refuses the exchange") << QStringLiteral("refused exchange");
        QTest::newRow("FUSE file system") << QStringLiteral("bindfs");
    }

    // Where RENAME_EXCHANGE is refused every restore takes the two-step swap.
    void restoresWithoutAtomicExchange()
    {
        QFETCH(QString, where);
        if (const QString why = unavailable(where); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(where);
        if (QTest::currentTestFailed())
            return;
        const Run run = runEngine(runnerArguments({}, {QStringLiteral("restore"), m_backupB, m_container, password}));
        QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
        QCOMPARE(treeSnapshot(data()), m_treeB);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
    }

    void killedAtAPoint_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("point");
        QTest::addColumn<bool>("dataMissing"); // the kill lands between the two renames
        for (const QString& where :
             {QStringLiteral("exchange"), QStringLiteral("refused exchange"), QStringLiteral("bindfs")}) {
            const bool twoSteps = where != QLatin1String("exchange");
            const auto row = [&](const char* name, const char* point, bool missing) {
                QTest::addRow("%s: %s", qPrintable(where), name) << where << QString::fromLatin1(point) << missing;
            };
            row("while unpacking", "restore:entry", false);
            row("after the journal", "swap:journal", false);
            if (twoSteps) {
                row("after moving Data aside", "swap:moved-aside", true);
                row("after moving the new content in", "swap:moved-in", false);
            }
            row("after the swap", "swap:swapped", false);
            row("while removing the old content", "remove:renamed", false);
        }
    }

    // A restore killed at any step leaves a whole Data after the next start.
    void killedAtAPoint()
    {
        QFETCH(QString, where);
        QFETCH(QString, point);
        QFETCH(bool, dataMissing);
        if (const QString why = unavailable(where); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(where);
        if (QTest::currentTestFailed())
            return;
        const Run run = runEngine(loopArguments({QStringLiteral("--kill-at"), point}));
        QVERIFY2(run.crashed && !run.timedOut, run.err.constData());
        QCOMPARE(verifyRecovered(point), dataMissing);
    }

    void killedAtRandomPoints_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("rounds");
        QTest::newRow("exchange") << QStringLiteral("exchange") << 14;
        QTest::newRow("kernel refuses the exchange") << QStringLiteral("refused exchange") << 14;
        QTest::newRow("FUSE file system") << QStringLiteral("bindfs") << 56;
    }

    // The engine, slowed at each step of its swap, is killed again and again: at each step in
    // turn, and at random moments after one. Each time the next start finds or brings back a
    // whole Data, old or new, and never removes a whole old content, also where a new Data was
    // made before it.
    void killedAtRandomPoints()
    {
        QFETCH(QString, where);
        QFETCH(int, rounds);
        if (const QString why = unavailable(where); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(where);
        if (QTest::currentTestFailed())
            return;
        const int slow = 15;
        m_runnerOptions << QStringLiteral("--slow") << QString::number(slow);
        const bool twoSteps = where != QLatin1String("exchange");
        QStringList points{QStringLiteral("restore:entry"), QStringLiteral("swap:journal"),
                           QStringLiteral("swap:swapped"), QStringLiteral("remove:renamed"), QString()};
        if (twoSteps)
            points << QStringLiteral("swap:moved-aside") << QStringLiteral("swap:moved-in");
        QRandomGenerator random(QRandomGenerator::global()->generate());
        int missing = 0;
        for (int round = 0; round < rounds; ++round) {
            const QString point = points[round % points.size()];
            // One of the first few restores of the loop; a random marker when no point is named.
            const int count = point.isEmpty()             ? 1 + int(random.bounded(300))
                : point == QLatin1String("restore:entry") ? 1 + int(random.bounded(100))
                                                          : 1 + int(random.bounded(3));
            const int delay = point.isEmpty() || round % 3 == 0 ? int(random.bounded(2 * slow)) : 0;
            QProcess process;
            QString last;
            QVERIFY2(killAtMarker(&process, point, count, delay, &last),
                     qPrintable(QStringLiteral("round %1: %2")
                                    .arg(round)
                                    .arg(QString::fromLocal8Bit(process.readAllStandardError()))));
            const QString context = QStringLiteral("round %1, killed %2 ms after marker %3 (%4)")
                                        .arg(round)
                                        .arg(delay)
                                        .arg(count)
                                        .arg(last);
            // Every other time Data was moved aside, the sibling app makes a new one first.
            missing += verifyRecovered(context, missing % 2 == 1) ? 1 : 0;
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%d of %d kills found Data moved aside", missing, rounds);
        // The kills did land between the two renames.
        if (twoSteps)
            QVERIFY2(missing > 0, "no kill found Data moved aside");
    }

    void interruptedThenChanged_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("killAt"); // empty: the restore is not killed
        QTest::addColumn<QString>("change"); // what happens to the container before the next start
        QTest::addColumn<QString>("dataAfter"); // "A", "B", "fresh" or empty (no Data)
        QTest::addColumn<bool>("oldKept"); // the old content A stays in a visible folder
        QTest::addColumn<QStringList>("planted"); // items that must stay as they were
        const QString old = QStringLiteral(".OldData.aB3xYz");
        const QString movedAside = QStringLiteral("swap:moved-aside");
        for (const QString& where : {QStringLiteral("refused exchange"), QStringLiteral("bindfs")}) {
            const auto row = [&](const char* name) { return &QTest::addRow("%s: %s", qPrintable(where), name); };
            *row("a fresh Data appears before the next start") << where << movedAside << QStringLiteral("fresh Data")
                                                               << QStringLiteral("fresh") << true << QStringList();
            *row("Data is gone between the renames")
                << where << movedAside << QString() << QStringLiteral("A") << false << QStringList();
            *row("Data is gone while the old content is removed")
                << where << QStringLiteral("remove:renamed") << QStringLiteral("half removed, no Data") << QString()
                << false << QStringList();
            *row("a planted old content and no Data") << where << QString() << QStringLiteral("no Data, planted folder")
                                                      << QStringLiteral("B") << false << QStringList{old};
            *row("a planted old content beside Data") << where << QString() << QStringLiteral("planted folder")
                                                      << QStringLiteral("B") << false << QStringList{old};
            *row("an old content that is a file, and no Data")
                << where << QString() << QStringLiteral("no Data, planted file") << QStringLiteral("B") << false
                << QStringList{old};
        }
    }

    // What a user's machine does between a killed restore and the next start, or what it leaves
    // in the container: the recovery, and the restore after it, never remove a whole old content,
    // never take a partial or foreign tree for Data, and are never blocked by an odd item.
    void interruptedThenChanged()
    {
        QFETCH(QString, where);
        QFETCH(QString, killAt);
        QFETCH(QString, change);
        QFETCH(QString, dataAfter);
        QFETCH(bool, oldKept);
        QFETCH(QStringList, planted);
        if (const QString why = unavailable(where); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(where);
        if (QTest::currentTestFailed())
            return;
        if (!killAt.isEmpty()) {
            const Run run = runEngine(runnerArguments({QStringLiteral("--kill-at"), killAt},
                                                      {QStringLiteral("restore"), m_backupB, m_container, password}));
            QVERIFY2(run.crashed, "the restore was not killed where asked");
        }
        const QString old = m_container + QStringLiteral("/.OldData.aB3xYz");
        const QMap<QString, QString> fresh{
            {QStringLiteral("frisch.txt"),
             QStringLiteral("f:") +
                 QString::fromLatin1(QCryptographicHash::hash("frisch", QCryptographicHash::Sha256).toHex())}};
        if (change.contains(QLatin1String("no Data")))
            QVERIFY(!QFileInfo::exists(data()) || QDir(data()).removeRecursively());
        if (change == QLatin1String("fresh Data")) {
            // The sibling app starts first and makes itself a new profile.
            QVERIFY(!QFileInfo::exists(data()));
            QVERIFY(writeFile(data() + QStringLiteral("/frisch.txt"), "frisch"));
        } else if (change.startsWith(QLatin1String("half removed"))) {
            // The kill came after some of the old content was gone.
            const QStringList names = entriesOf(m_container);
            QCOMPARE(names.size(), 2);
            QVERIFY2(names.first().startsWith(QLatin1String(".RemovingData.")), qPrintable(names.join(u',')));
            QVERIFY(QDir(m_container + QLatin1Char('/') + names.first() + QStringLiteral("/a/0")).removeRecursively());
        } else if (change.endsWith(QLatin1String("planted folder"))) {
            QVERIFY(writeFile(old + QStringLiteral("/fremd.txt"), "fremd"));
        } else if (change.endsWith(QLatin1String("planted file"))) {
            QVERIFY(writeFile(old, "fremd"));
        }
        const auto plantedNow = [&] {
            QMap<QString, QString> items;
            for (const QString& name : planted) {
                const QString at = m_container + QLatin1Char('/') + name;
                QFile file(at);
                if (QFileInfo(at).isDir())
                    items.insert(name, QStringList(treeSnapshot(at).values()).join(u','));
                else if (file.open(QIODevice::ReadOnly))
                    items.insert(name, QString::fromUtf8(file.readAll()));
            }
            return items;
        };
        const QMap<QString, QString> plantedBefore = plantedNow();
        QCOMPARE(plantedBefore.size(), planted.size());

        const RecoveryResult recovered = recoverContainer(m_container);
        QVERIFY2(recovered, codeName(recovered));
        QCOMPARE(recovered->outcome == RestoreRecovery::Outcome::keptAside, oldKept);
        if (killAt.isEmpty()) {
            // Nothing was interrupted: the next restore runs, the odd items aside.
            const Run run =
                runEngine(runnerArguments({}, {QStringLiteral("restore"), m_backupB, m_container, password}));
            QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
        }

        QStringList expected = planted;
        if (!dataAfter.isEmpty())
            expected << QStringLiteral("Data");
        if (oldKept) {
            const QString kept = QFileInfo(recovered->keptFolder).fileName();
            QVERIFY2(kept.startsWith(QLatin1String("Data vor der Wiederherstellung ")), qPrintable(kept));
            QCOMPARE(QFileInfo(recovered->keptFolder).absolutePath(), QFileInfo(m_container).absoluteFilePath());
            QCOMPARE(treeSnapshot(recovered->keptFolder), m_treeA);
            expected << kept;
        }
        expected.sort();
        QCOMPARE(entriesOf(m_container), expected);
        if (dataAfter == QLatin1String("A"))
            QCOMPARE(treeSnapshot(data()), m_treeA);
        else if (dataAfter == QLatin1String("B"))
            QCOMPARE(treeSnapshot(data()), m_treeB);
        else if (dataAfter == QLatin1String("fresh"))
            QCOMPARE(treeSnapshot(data()), fresh);
        QCOMPARE(plantedNow(), plantedBefore);
    }

    void killedAfterTheSwapThenDataMadeAnew_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("sameInode"); // the new Data surely gets the freed inode number
        QTest::newRow("ext4") << QStringLiteral("ext4") << true;
        QTest::newRow("ext4, kernel refuses the exchange") << QStringLiteral("ext4, refused exchange") << true;
        QTest::newRow("FUSE file system") << QStringLiteral("bindfs") << false;
        QTest::newRow("exFAT through FUSE") << QStringLiteral("exFAT") << false;
    }

    // Killed after the swap, before the old content went; then the sibling app resets its profile:
    // Data is removed and made anew, on ext4 under the inode number the restored Data had. The
    // recovery leaves the new Data alone and keeps the whole old content in its visible folder.
    void killedAfterTheSwapThenDataMadeAnew()
    {
        QFETCH(QString, where);
        QFETCH(bool, sameInode);
        if (const QString why = unavailable(where); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(where);
        if (QTest::currentTestFailed())
            return;
        const Run run = runEngine(runnerArguments({QStringLiteral("--kill-at"), QStringLiteral("swap:swapped")},
                                                  {QStringLiteral("restore"), m_backupB, m_container, password}));
        QVERIFY2(run.crashed && !run.timedOut, run.err.constData());

        const QByteArray dataPath = QFile::encodeName(data());
        struct stat before = {};
        QCOMPARE(::stat(dataPath.constData(), &before), 0);
        QVERIFY(QDir(data()).removeRecursively());
        QVERIFY(QDir().mkdir(data()));
        struct stat after = {};
        QCOMPARE(::stat(dataPath.constData(), &after), 0);
        if (sameInode)
            QCOMPARE(quint64(after.st_ino), quint64(before.st_ino));
        QVERIFY(writeFile(data() + QStringLiteral("/frisch.txt"), "frisch"));
        const QMap<QString, QString> fresh = treeSnapshot(data());

        const RecoveryResult recovered = recoverContainer(m_container);
        QCOMPARE(outcomeName(recovered), "keptAside");
        QCOMPARE(treeSnapshot(data()), fresh);
        QCOMPARE(treeSnapshot(recovered->keptFolder), m_treeA);
        QStringList expected{QStringLiteral("Data"), QFileInfo(recovered->keptFolder).fileName()};
        expected.sort();
        QCOMPARE(entriesOf(m_container), expected);
    }

    // A damaged journal is moved aside under its own name followed by a unique ending, also in a
    // process whose objects are set up in another order than the tests'.
    void damagedJournalInAProcess()
    {
        useContainer(QStringLiteral("exchange"));
        QVERIFY(writeFile(m_container + QStringLiteral("/.RestoreJournal"), "tarn-restore-journal 2\nkaputt\n"));
        const Run run = runEngine({QStringLiteral("recover"), m_container});
        QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
        const QStringList names = entriesOf(m_container);
        QCOMPARE(names.size(), 2);
        QVERIFY2(RestoreJournal::isUniqueName(names.first().toLatin1(), RestoreJournal::fileName + '.'),
                 qPrintable(names.first()));
        QCOMPARE(names.last(), QStringLiteral("Data"));
        QCOMPARE(treeSnapshot(data()), m_treeA);
    }

    // Leftover folders without write permission (from the sibling app's own files or a killed
    // run) do not block the next restore once root's override of permissions is gone.
    void readOnlyFoldersDoNotBlock()
    {
        if (const QString why = unavailable(QStringLiteral("exchange")); !why.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(why);
        useContainer(QStringLiteral("exchange"));
        if (QTest::currentTestFailed())
            return;
        const QString data = m_container + QStringLiteral("/Data");
        const QString leftover = m_container + QStringLiteral("/.TempData");
        QVERIFY(writeFile(data + QStringLiteral("/gesperrt/datei"), "alt"));
        QVERIFY(writeFile(leftover + QStringLiteral("/gesperrt/datei"), "halb"));
        for (const QString& folder : {data + QStringLiteral("/gesperrt"), leftover + QStringLiteral("/gesperrt")})
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

        // B holds a folder of mode 0555 itself, which the restore after it has to remove.
        for (const QString& backup : {m_backupB, m_backupA}) {
            const Run run =
                runEngine({QStringLiteral("--no-dac"), QStringLiteral("restore"), backup, m_container, password});
            QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
            QCOMPARE(treeSnapshot(data), backup == m_backupB ? m_treeB : m_treeA);
            QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
        }
    }

    void keyMaterialIsCleansed_data()
    {
        QTest::addColumn<bool>("keepCopy");
        QTest::newRow("after a backup and a restore") << false;
        QTest::newRow("control: a copy kept on purpose") << true;
    }

    // No copy of the derived key or of the password material stays in the heap once the work is done.
    void keyMaterialIsCleansed()
    {
        QFETCH(bool, keepCopy);
        const QString source = path(QStringLiteral("quelle/Data"));
        QVERIFY(writeFile(source + QStringLiteral("/notiz.txt"), "Notiz"));
        const QByteArray material = password.toUtf8() + ArchiveCipher::internalKey;
        QStringList arguments{QStringLiteral("scan"),
                              source,
                              path(QStringLiteral("scan-backups")),
                              path(QStringLiteral("scan-container")),
                              password,
                              QString::fromLatin1(masked(ArchiveCipher::deriveKey(password))),
                              QString::fromLatin1(masked(material))};
        if (keepCopy)
            arguments.prepend(QStringLiteral("--keep-copy"));
        const Run run = runEngine(arguments);
        QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
        const QList<QByteArray> fields = run.out.trimmed().split(' ');
        QCOMPARE(fields.size(), 4);
        const int keyHits = fields[1].toInt();
        const int materialHits = fields[3].toInt();
        if (keepCopy) {
            QVERIFY2(keyHits >= 1, run.out.constData());
        } else {
            QCOMPARE(keyHits, 0);
            QCOMPARE(materialHits, 0);
        }
    }
};

TARN_TEST_MAIN(TestEngineProcesses)
#include "TestEngineProcesses.moc"
