#include "core/archive/EncryptionService.h"
#include "core/archive/RestoreJournal.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QProcess>

#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString password = QStringLiteral("Wiederherstellen 1");

// What the observer of a running restore does: start a second restore into the same container.
struct SecondRestore
{
    static inline QString backup;
    static inline QString container;
    static inline std::atomic<bool> started{false};
    static inline std::optional<ArchiveResult> result;

    static void onEntry(const char* point, const QByteArray&)
    {
        if (std::strcmp(point, "restore:entry") != 0 || started.exchange(true))
            return;
        result = restoreBackup(backup, container, password);
    }
};

// What the observer does once the swap stands: make the old content impossible to rename, as a
// folder marked immutable is even for root.
struct FreezeOldContent
{
    static inline QString container;
    static inline QStringList frozen;

    static bool setImmutable(const QString& path, bool on)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    static void onSwapped(const char* point, const QByteArray&)
    {
        if (std::strcmp(point, "swap:swapped") != 0)
            return;
        for (const QString& name : QDir(container).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (name != QLatin1String("Data") && setImmutable(container + QLatin1Char('/') + name, true))
                frozen.append(container + QLatin1Char('/') + name);
        }
    }

    static void thaw()
    {
        for (const QString& path : std::exchange(frozen, {}))
            setImmutable(path, false);
    }
};

QStringList dataOnly()
{
    return {QStringLiteral("Data")};
}

// The record as versions before the mark wrote it.
QByteArray withoutMark(const RestoreJournal& journal)
{
    QList<QByteArray> lines = journal.serialize().split('\n');
    lines.removeLast(); // after the last line break
    lines.removeLast(); // the check sum
    lines[0] = "tarn-restore-journal 1";
    lines.removeIf([](const QByteArray& line) { return line.startsWith("mark "); });
    const QByteArray body = lines.join('\n') + '\n';
    return body + "sum " + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
}

} // namespace

// Restores under real conditions: two at once, file systems without an atomic exchange, killed
// runs, private modes, odd files and names.
class TestRestoreHardening : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> m_dir;
    QString m_container;
    QString m_data;
    QMap<QString, QString> m_oldTree;
    QMap<QString, QString> m_newTree;
    QString m_backup; // restores to m_newTree

    QString path(const QString& name) const { return m_dir->path(name); }

    QString writeBackup(const QString& name, const QByteArray& zip) const
    {
        const QString file = path(QStringLiteral("backups/") + name);
        return writeFile(file, encryptBackup(zip, password)) ? file : QString();
    }

    // Data is as it was and nothing else is left in the container.
    void verifyUntouched() const
    {
        QCOMPARE(treeSnapshot(m_data), m_oldTree);
        QCOMPARE(entriesOf(m_container), dataOnly());
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScratchDir>();
        QVERIFY(m_dir->isValid());
        m_container = path(QStringLiteral("container"));
        m_data = m_container + QStringLiteral("/Data");
        QVERIFY(writeFile(m_data + QStringLiteral("/alt.txt"), "alte Daten"));
        QVERIFY(writeFile(m_data + QStringLiteral("/Ordner/alt2.txt"), "alt 2"));
        m_oldTree = treeSnapshot(m_data);

        QList<ZipItem> items{{"Data/", AE_IFDIR, {}}};
        for (int i = 0; i < 40; ++i)
            items.append({QByteArrayLiteral("Data/neu/") + QByteArray::number(i) + ".txt", AE_IFREG,
                          QByteArrayLiteral("neu ") + QByteArray::number(i)});
        m_backup = writeBackup(QStringLiteral("Backup_2024-03-05_14-07-09.orlwen"), makeZip(items));
        QVERIFY(!m_backup.isEmpty());
        const QString reference = path(QStringLiteral("reference"));
        QVERIFY(restoreBackup(m_backup, reference, password));
        m_newTree = treeSnapshot(reference + QStringLiteral("/Data"));
        QCOMPARE(m_newTree.size(), 41);
    }

    void cleanup()
    {
        FreezeOldContent::thaw();
        m_dir.reset();
    }

    // Data without the restore's mark, which stays there until the old content is gone.
    QMap<QString, QString> dataWithoutMark() const
    {
        QMap<QString, QString> tree = treeSnapshot(m_data);
        tree.removeIf(
            [](const auto& item) { return item.key().startsWith(QString::fromLatin1(RestoreJournal::markPrefix)); });
        return tree;
    }

    // A second restore while one runs is refused at once; the first completes.
    void secondRestoreIsRefused()
    {
        QList<ZipItem> other{{"Data/anders.txt", AE_IFREG, "anders"}};
        SecondRestore::backup = writeBackup(QStringLiteral("Backup_2024-03-06_10-00-00.orlwen"), makeZip(other));
        SecondRestore::container = m_container;
        SecondRestore::started = false;
        SecondRestore::result.reset();
        FaultPlan faults;
        faults.observer = &SecondRestore::onEntry;

        const ArchiveResult first = restoreBackup(m_backup, m_container, password, faults);
        QVERIFY2(first, codeName(first));
        QVERIFY(SecondRestore::result.has_value());
        QCOMPARE(codeName(*SecondRestore::result), "archiveCreationFailed");
        QCOMPARE(treeSnapshot(m_data), m_newTree);
        QCOMPARE(entriesOf(m_container), dataOnly());
    }

    void fallbackSwap_data()
    {
        QTest::addColumn<int>("failStep");
        QTest::addColumn<bool>("withData");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<bool>("dataLeftMissing");
        QTest::newRow("two renames") << 0 << true << true << false;
        QTest::newRow("no Data before") << 0 << false << true << false;
        QTest::newRow("moving Data aside fails") << 1 << true << false << false;
        QTest::newRow("moving the new content in fails") << 2 << true << false << false;
        QTest::newRow("putting Data back fails too") << 3 << true << false << true;
    }

    // Where the file system cannot exchange two folders, Data is swapped in two renames and
    // rolled back on failure; what a failed rollback leaves is put right by the recovery.
    void fallbackSwap()
    {
        QFETCH(int, failStep);
        QFETCH(bool, withData);
        QFETCH(bool, succeeds);
        QFETCH(bool, dataLeftMissing);
        if (!withData)
            QVERIFY(QDir(m_data).removeRecursively());
        FaultPlan faults;
        faults.forceSwapFallback = true;
        faults.failFallbackStep = failStep;

        const ArchiveResult result = restoreBackup(m_backup, m_container, password, faults);
        QCOMPARE(codeName(result), succeeds ? "success" : "archiveCreationFailed");
        if (succeeds) {
            QCOMPARE(treeSnapshot(m_data), m_newTree);
            QCOMPARE(entriesOf(m_container), dataOnly());
            return;
        }
        if (!dataLeftMissing) {
            verifyUntouched();
            return;
        }
        // Data stays missing until the recovery: the journal says where the old content is.
        QStringList left = entriesOf(m_container);
        QCOMPARE(left.size(), 3);
        QVERIFY2(left[0].startsWith(QLatin1String(".OldData.")) && left[1] == QLatin1String(".RestoreJournal") &&
                     left[2].startsWith(QLatin1String(".TempData.")),
                 qPrintable(left.join(u',')));
        const RecoveryResult recovered = recoverContainer(m_container, faults);
        QCOMPARE(outcomeName(recovered), "rolledBack");
        verifyUntouched();
    }

    void oldContentCannotBeRenamed_data()
    {
        QTest::addColumn<bool>("twoSteps");
        QTest::newRow("exchange") << false;
        QTest::newRow("two renames") << true;
    }

    // When the old content cannot be renamed for removal after the swap, the restore still stands
    // and the journal stays; the next recovery that can rename it finishes the work.
    void oldContentCannotBeRenamed()
    {
        QFETCH(bool, twoSteps);
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("marking a folder immutable needs root"));
        FaultPlan faults;
        faults.forceSwapFallback = twoSteps;
        FreezeOldContent::container = m_container;
        faults.observer = &FreezeOldContent::onSwapped;

        const ArchiveResult result = restoreBackup(m_backup, m_container, password, faults);
        QVERIFY2(result, codeName(result));
        QCOMPARE(FreezeOldContent::frozen.size(), 1);
        const QString old = FreezeOldContent::frozen.first();
        QCOMPARE(dataWithoutMark(), m_newTree);
        QCOMPARE(treeSnapshot(old), m_oldTree);
        QStringList expected{QFileInfo(old).fileName(), QStringLiteral(".RestoreJournal"), QStringLiteral("Data")};
        expected.sort();
        QCOMPARE(entriesOf(m_container), expected);

        // Still frozen: the recovery fails and keeps everything.
        QCOMPARE(codeName(recoverContainer(m_container, faults)), "archiveCreationFailed");
        QCOMPARE(entriesOf(m_container), expected);
        QCOMPARE(treeSnapshot(old), m_oldTree);

        FreezeOldContent::thaw();
        const RecoveryResult recovered = recoverContainer(m_container, faults);
        QCOMPARE(outcomeName(recovered), "completed");
        QCOMPARE(treeSnapshot(m_data), m_newTree);
        QCOMPARE(entriesOf(m_container), dataOnly());
    }

    void failedFolderSync_data()
    {
        QTest::addColumn<QByteArray>("point");
        QTest::addColumn<bool>("twoSteps");
        QTest::addColumn<int>("failStep"); // of the two renames, as in fallbackSwap
        QTest::addColumn<bool>("restored"); // the restore reports success
        QTest::newRow("a journal record") << QByteArray("journal") << false << 0 << false;
        QTest::newRow("the working folder's mark") << QByteArray("working") << false << 0 << false;
        QTest::newRow("after the exchange") << QByteArray("swap") << false << 0 << false;
        QTest::newRow("after moving Data aside") << QByteArray("moved-aside") << true << 0 << false;
        QTest::newRow("after the two renames") << QByteArray("swap") << true << 0 << false;
        QTest::newRow("after putting Data back") << QByteArray("put-back") << true << 2 << false;
        QTest::newRow("after renaming the old content for removal") << QByteArray("removal") << false << 0 << true;
        QTest::newRow("after removing the mark") << QByteArray("mark") << false << 0 << true;
        QTest::newRow("after removing the journal") << QByteArray("journal-removed") << false << 0 << true;
    }

    // A folder sync that fails (a disk's write error) fails its step: a swap that may not be on disk
    // is undone, and after the swap nothing is removed before its rename is on disk. The recovery
    // afterwards leaves the restored or the old Data whole and nothing else.
    void failedFolderSync()
    {
        QFETCH(QByteArray, point);
        QFETCH(bool, twoSteps);
        QFETCH(int, failStep);
        QFETCH(bool, restored);
        FaultPlan faults;
        faults.forceSwapFallback = twoSteps;
        faults.failFallbackStep = failStep;
        faults.failFolderSyncAt = point;
        const ArchiveResult result = restoreBackup(m_backup, m_container, password, faults);
        faults.failFolderSyncAt.clear();
        faults.failFallbackStep = 0;
        QCOMPARE(codeName(result), restored ? "success" : "archiveCreationFailed");
        QCOMPARE(dataWithoutMark(), restored ? m_newTree : m_oldTree);
        if (restored && point != "journal-removed")
            QVERIFY(entriesOf(m_container).contains(QStringLiteral(".RestoreJournal")));

        const RecoveryResult recovered = recoverContainer(m_container, faults);
        QVERIFY2(recovered, codeName(recovered));
        QCOMPARE(treeSnapshot(m_data), restored ? m_newTree : m_oldTree);
        QCOMPARE(entriesOf(m_container), dataOnly());
    }

    void failedFolderSyncInRecovery_data()
    {
        QTest::addColumn<QByteArray>("point");
        QTest::addColumn<bool>("freshData");
        QTest::newRow("putting Data back") << QByteArray("rollback") << false;
        QTest::newRow("keeping the old content beside a fresh Data") << QByteArray("keep") << true;
    }

    // A recovery whose folder sync fails keeps its journal; the next one ends where it would have.
    void failedFolderSyncInRecovery()
    {
        QFETCH(QByteArray, point);
        QFETCH(bool, freshData);
        // Data left missing between the two renames, with the journal saying where it is.
        FaultPlan faults;
        faults.forceSwapFallback = true;
        faults.failFallbackStep = 3;
        QCOMPARE(codeName(restoreBackup(m_backup, m_container, password, faults)), "archiveCreationFailed");
        faults.failFallbackStep = 0;
        QVERIFY(!QFileInfo::exists(m_data));
        if (freshData)
            QVERIFY(writeFile(m_data + QStringLiteral("/frisch.txt"), "frisch"));
        const QMap<QString, QString> dataBefore = treeSnapshot(m_data);

        faults.failFolderSyncAt = point;
        QCOMPARE(codeName(recoverContainer(m_container, faults)), "archiveCreationFailed");
        faults.failFolderSyncAt.clear();
        QVERIFY(entriesOf(m_container).contains(QStringLiteral(".RestoreJournal")));

        const RecoveryResult recovered = recoverContainer(m_container, faults);
        QVERIFY2(recovered, codeName(recovered));
        QCOMPARE(recovered->outcome == RestoreRecovery::Outcome::keptAside, freshData);
        QCOMPARE(treeSnapshot(m_data), freshData ? dataBefore : m_oldTree);
        QStringList expected = dataOnly();
        if (freshData) {
            QCOMPARE(treeSnapshot(recovered->keptFolder), m_oldTree);
            expected.append(QFileInfo(recovered->keptFolder).fileName());
            expected.sort();
        }
        QCOMPARE(entriesOf(m_container), expected);
    }

    void recoveryWithoutJournal_data()
    {
        // name[=empty|file|link|mark]; plain: a folder holding one file
        QTest::addColumn<QStringList>("planted");
        QTest::addColumn<bool>("withData");
        QTest::addColumn<QStringList>("left"); // what stays besides Data
        const QString old = QStringLiteral(".OldData.aB3xYz");
        QTest::newRow("old content without Data") << QStringList{old} << false << QStringList{old};
        QTest::newRow("old content beside Data") << QStringList{old} << true << QStringList{old};
        QTest::newRow("old content that is a file")
            << QStringList{old + QStringLiteral("=file")} << false << QStringList{old};
        QTest::newRow("old content that is a link")
            << QStringList{old + QStringLiteral("=link")} << false << QStringList{old};
        QTest::newRow("working items of killed runs")
            << QStringList{QStringLiteral(".TempData"), QStringLiteral(".TempData.Q1w2E3=empty"),
                           QStringLiteral(".RemovingData.Zz9Yy8"), QStringLiteral(".RestoreJournal.new=file")}
            << true << QStringList();
        QTest::newRow("a working folder holding only its mark")
            << QStringList{QStringLiteral(".TempData.Q1w2E3=mark")} << true << QStringList();
        QTest::newRow("a filled working folder") << QStringList{QStringLiteral(".TempData.Q1w2E3")} << true
                                                 << QStringList{QStringLiteral(".TempData.Q1w2E3")};
    }

    // Without a journal nothing becomes Data and nothing that may hold a whole content is removed;
    // only what holds nothing of value goes. A restore afterwards succeeds and leaves the rest.
    void recoveryWithoutJournal()
    {
        QFETCH(QStringList, planted);
        QFETCH(bool, withData);
        QFETCH(QStringList, left);
        if (!withData)
            QVERIFY(QDir(m_data).removeRecursively());
        for (const QString& item : planted) {
            const QString name = item.section(QLatin1Char('='), 0, 0);
            const QString kind = item.section(QLatin1Char('='), 1);
            const QString at = m_container + QLatin1Char('/') + name;
            if (kind == QLatin1String("empty"))
                QVERIFY(QDir().mkpath(at));
            else if (kind == QLatin1String("file"))
                QVERIFY(writeFile(at, name.toUtf8()));
            else if (kind == QLatin1String("link"))
                QVERIFY(QFile::link(QStringLiteral("anderswo"), at));
            else if (kind == QLatin1String("mark"))
                QVERIFY(writeFile(at + QStringLiteral("/.RestoreMark.Ab3456789012Cd34"), QByteArray()));
            else
                QVERIFY(writeFile(at + QStringLiteral("/inhalt.txt"), name.toUtf8()));
        }
        const auto leftContent = [&] {
            QMap<QString, QString> kept;
            const QMap<QString, QString> all = treeSnapshot(m_container);
            for (auto it = all.begin(); it != all.end(); ++it) {
                if (left.contains(it.key().section(QLatin1Char('/'), 0, 0)))
                    kept.insert(it.key(), it.value());
            }
            return kept;
        };
        const QMap<QString, QString> before = leftContent();
        QStringList expected = left;
        if (withData)
            expected << QStringLiteral("Data");
        expected.sort();

        const RecoveryResult result = recoverContainer(m_container);
        QVERIFY2(result, codeName(result));
        QCOMPARE(entriesOf(m_container), expected);
        QCOMPARE(leftContent(), before);
        if (withData)
            QCOMPARE(treeSnapshot(m_data), m_oldTree);

        const ArchiveResult restored = restoreBackup(m_backup, m_container, password);
        QVERIFY2(restored, codeName(restored));
        QCOMPARE(treeSnapshot(m_data), m_newTree);
        if (!withData)
            expected = (QStringList(left) << QStringLiteral("Data"));
        expected.sort();
        QCOMPARE(entriesOf(m_container), expected);
        QCOMPARE(leftContent(), before);
    }

    void recoveryFromJournal_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("method");
        // What each name holds: "old" (Data before the restore), "new" (the backup's content),
        // "fresh" (a Data someone else made), "other" (a folder nobody knows), or nothing.
        QTest::addColumn<QString>("inData");
        QTest::addColumn<QString>("inWork");
        QTest::addColumn<QString>("inAside");
        QTest::addColumn<QString>("dataAfter");
        QTest::addColumn<QString>("keptAfter"); // what the visible folder holds afterwards
        QTest::addColumn<QString>("outcome");
        // Whose identity the journal gives the working folder: "new", or that of the content
        // that got its inode number after it was removed.
        QTest::addColumn<QString>("workIdentity");
        QTest::addColumn<bool>("older"); // a record of a version without the mark
        const QString none;
        const QString oldC = QStringLiteral("old");
        const QString newC = QStringLiteral("new");
        const QString fresh = QStringLiteral("fresh");
        const QString two = QStringLiteral("two-steps");
        const QString exchange = QStringLiteral("exchange");
        const QString direct = QStringLiteral("none");
        const QString swapping = QStringLiteral("swapping");
        QTest::newRow("unpacking") << QStringLiteral("unpacking") << direct << oldC << newC << none << oldC << none
                                   << QStringLiteral("cleanedUp") << newC << false;
        QTest::newRow("two steps: not begun")
            << swapping << two << oldC << newC << none << oldC << none << QStringLiteral("cleanedUp") << newC << false;
        QTest::newRow("two steps: Data moved aside, not yet recorded")
            << swapping << two << none << newC << oldC << oldC << none << QStringLiteral("rolledBack") << newC << false;
        QTest::newRow("two steps: between the renames")
            << QStringLiteral("moved-aside") << two << none << newC << oldC << oldC << none
            << QStringLiteral("rolledBack") << newC << false;
        QTest::newRow("two steps: a fresh Data between the renames")
            << QStringLiteral("moved-aside") << two << fresh << newC << oldC << fresh << oldC
            << QStringLiteral("keptAside") << newC << false;
        QTest::newRow("two steps: swapped, not yet recorded")
            << QStringLiteral("moved-aside") << two << newC << none << oldC << newC << none
            << QStringLiteral("completed") << newC << false;
        QTest::newRow("two steps: swapped") << QStringLiteral("swapped") << two << newC << none << oldC << newC << none
                                            << QStringLiteral("completed") << newC << false;
        QTest::newRow("two steps: swapped, then Data gone")
            << QStringLiteral("swapped") << two << none << none << oldC << oldC << none << QStringLiteral("rolledBack")
            << newC << false;
        QTest::newRow("exchange: not begun") << swapping << exchange << oldC << newC << none << oldC << none
                                             << QStringLiteral("cleanedUp") << newC << false;
        QTest::newRow("exchange: exchanged, not yet recorded") << swapping << exchange << newC << oldC << none << newC
                                                               << none << QStringLiteral("completed") << newC << false;
        QTest::newRow("exchange: swapped") << QStringLiteral("swapped") << exchange << newC << oldC << none << newC
                                           << none << QStringLiteral("completed") << newC << false;
        QTest::newRow("exchange: a fresh Data") << swapping << exchange << fresh << oldC << none << fresh << oldC
                                                << QStringLiteral("keptAside") << newC << false;
        QTest::newRow("exchange: neither folder known")
            << swapping << exchange << fresh << QStringLiteral("other") << none << fresh << QStringLiteral("other")
            << QStringLiteral("keptAside") << newC << false;
        QTest::newRow("no Data before: not begun") << swapping << direct << none << newC << none << none << none
                                                   << QStringLiteral("cleanedUp") << newC << false;
        QTest::newRow("no Data before: a fresh Data") << swapping << direct << fresh << newC << none << fresh << none
                                                      << QStringLiteral("cleanedUp") << newC << false;
        QTest::newRow("no Data before: renamed") << swapping << direct << newC << none << none << newC << none
                                                 << QStringLiteral("completed") << newC << false;
        QTest::newRow("moving the old content to its visible folder")
            << QStringLiteral("keeping") << two << fresh << newC << oldC << fresh << oldC << QStringLiteral("keptAside")
            << newC << false;
        QTest::newRow("two steps: swapped, then Data made anew")
            << QStringLiteral("swapped") << two << fresh << none << oldC << fresh << oldC << QStringLiteral("keptAside")
            << newC << false;
        QTest::newRow("exchange: swapped, then Data made anew on the freed inode")
            << QStringLiteral("swapped") << exchange << fresh << oldC << none << fresh << oldC
            << QStringLiteral("keptAside") << fresh << false;
        QTest::newRow("exchange: Data made anew on the freed inode before the record")
            << swapping << exchange << fresh << oldC << none << fresh << oldC << QStringLiteral("keptAside") << fresh
            << false;
        // Records without a mark never prove Data to be the new content: an old content beside it stays.
        QTest::newRow("older record: exchange: swapped")
            << QStringLiteral("swapped") << exchange << newC << oldC << none << newC << oldC
            << QStringLiteral("keptAside") << newC << true;
        QTest::newRow("older record: two steps: swapped")
            << QStringLiteral("swapped") << two << newC << none << oldC << newC << oldC << QStringLiteral("keptAside")
            << newC << true;
        QTest::newRow("older record: exchange: not begun") << swapping << exchange << oldC << newC << none << oldC
                                                           << none << QStringLiteral("cleanedUp") << newC << true;
        QTest::newRow("older record: two steps: between the renames")
            << QStringLiteral("moved-aside") << two << none << newC << oldC << oldC << none
            << QStringLiteral("rolledBack") << newC << true;
        QTest::newRow("older record: no Data before: renamed") << swapping << direct << newC << none << none << newC
                                                               << none << QStringLiteral("completed") << newC << true;
    }

    // A killed restore's journal says which folder holds what: the recovery undoes a swap that
    // had not finished, finishes one that had, and keeps the old content where Data was replaced.
    void recoveryFromJournal()
    {
        QFETCH(QString, step);
        QFETCH(QString, method);
        QFETCH(QString, inData);
        QFETCH(QString, inWork);
        QFETCH(QString, inAside);
        QFETCH(QString, dataAfter);
        QFETCH(QString, keptAfter);
        QFETCH(QString, outcome);
        QFETCH(QString, workIdentity);
        QFETCH(bool, older);

        // The contents, made apart and then put where the row says.
        const QString contents = path(QStringLiteral("contents"));
        QVERIFY(QDir().mkpath(contents));
        QVERIFY(QFile::rename(m_data, contents + QStringLiteral("/old")));
        QVERIFY(writeFile(contents + QStringLiteral("/new/neu.txt"), "neu"));
        QVERIFY(writeFile(contents + QStringLiteral("/fresh/frisch.txt"), "frisch"));
        QVERIFY(writeFile(contents + QStringLiteral("/other/fremd.txt"), "fremd"));
        QMap<QString, QMap<QString, QString>> trees;
        QMap<QString, RestoreJournal::Identity> identities;
        for (const QString& kind :
             {QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("fresh"), QStringLiteral("other")}) {
            trees[kind] = treeSnapshot(contents + QLatin1Char('/') + kind);
            struct stat st = {};
            QCOMPARE(::stat(QFile::encodeName(contents + QLatin1Char('/') + kind).constData(), &st), 0);
            identities[kind] = {st.st_dev, st.st_ino};
        }
        RestoreJournal journal;
        journal.startedMSecs = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)).toMSecsSinceEpoch();
        journal.work = QByteArrayLiteral(".TempData.Wk1234");
        journal.workIdentity = identities[workIdentity];
        if (!older) {
            // The new content carries the mark the record names.
            journal.mark = QByteArrayLiteral("Mk3456789012345Z");
            QVERIFY(writeFile(contents + QStringLiteral("/new/") +
                                  QString::fromLatin1(RestoreJournal::markName(journal.mark)),
                              QByteArray()));
        }
        if (method == QLatin1String("exchange")) {
            journal.method = RestoreJournal::Method::exchange;
            journal.dataIdentity = identities[QStringLiteral("old")];
        } else if (method == QLatin1String("two-steps")) {
            journal.method = RestoreJournal::Method::twoSteps;
            journal.aside = QByteArrayLiteral(".OldData.As1234");
        }
        const QMap<QString, RestoreJournal::Step> steps{
            {QStringLiteral("unpacking"), RestoreJournal::Step::unpacking},
            {QStringLiteral("swapping"), RestoreJournal::Step::swapping},
            {QStringLiteral("moved-aside"), RestoreJournal::Step::movedAside},
            {QStringLiteral("swapped"), RestoreJournal::Step::swapped},
            {QStringLiteral("keeping"), RestoreJournal::Step::keeping}};
        journal.step = steps.value(step);
        const QString keptName = QStringLiteral("Data vor der Wiederherstellung 2024-03-05_14-07-09");
        if (journal.step == RestoreJournal::Step::keeping) {
            journal.keptFrom = journal.aside;
            journal.kept = QFile::encodeName(keptName);
        }
        for (const auto& [name, kind] :
             {std::pair{QStringLiteral("Data"), inData}, std::pair{QString::fromLatin1(journal.work), inWork},
              std::pair{QString::fromLatin1(journal.aside), inAside}}) {
            if (!kind.isEmpty())
                QVERIFY(QFile::rename(contents + QLatin1Char('/') + kind, m_container + QLatin1Char('/') + name));
        }
        QVERIFY(writeFile(m_container + QStringLiteral("/.RestoreJournal"),
                          older ? withoutMark(journal) : journal.serialize()));

        const RecoveryResult result = recoverContainer(m_container);
        QCOMPARE(outcomeName(result), qPrintable(outcome));
        QStringList expected;
        if (!dataAfter.isEmpty()) {
            expected << QStringLiteral("Data");
            QCOMPARE(treeSnapshot(m_data), trees[dataAfter]);
        }
        if (!keptAfter.isEmpty()) {
            expected << keptName;
            QCOMPARE(treeSnapshot(m_container + QLatin1Char('/') + keptName), trees[keptAfter]);
            QCOMPARE(result->keptFolder, m_container + QLatin1Char('/') + keptName);
        } else {
            QCOMPARE(result->keptFolder, QString());
        }
        QCOMPARE(entriesOf(m_container), expected);
    }

    void damagedJournal_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("a changed byte") << QByteArray("byte");
        QTest::newRow("cut short") << QByteArray("cut");
        QTest::newRow("a folder in its place") << QByteArray("folder");
    }

    // A journal that is not whole is never acted upon: what it names stays, and it is moved aside
    // so that it blocks no later restore.
    void damagedJournal()
    {
        QVERIFY(writeFile(m_container + QStringLiteral("/.OldData.As1234/alt.txt"), "alt"));
        RestoreJournal journal;
        journal.step = RestoreJournal::Step::swapped;
        journal.method = RestoreJournal::Method::twoSteps;
        journal.work = QByteArrayLiteral(".TempData.Wk1234");
        journal.aside = QByteArrayLiteral(".OldData.As1234");
        QByteArray text = journal.serialize();
        QFETCH(QByteArray, damage);
        const QString file = m_container + QStringLiteral("/.RestoreJournal");
        if (damage == "byte")
            text[text.indexOf("swapped")] = 'S';
        else if (damage == "cut")
            text.chop(10);
        if (damage == "folder")
            QVERIFY(writeFile(file + QStringLiteral("/inhalt"), text));
        else
            QVERIFY(writeFile(file, text));

        const RecoveryResult result = recoverContainer(m_container);
        QVERIFY2(result, codeName(result));
        QStringList left = entriesOf(m_container);
        QCOMPARE(left.size(), 3);
        QCOMPARE(left[0], QStringLiteral(".OldData.As1234"));
        QVERIFY2(RestoreJournal::isUniqueName(left[1].toLatin1(), QByteArrayLiteral(".RestoreJournal.")),
                 qPrintable(left[1]));
        QCOMPARE(left[2], QStringLiteral("Data"));
        QCOMPARE(treeSnapshot(m_data), m_oldTree);

        QVERIFY(restoreBackup(m_backup, m_container, password));
        QCOMPARE(treeSnapshot(m_data), m_newTree);
        QCOMPARE(entriesOf(m_container), left);
    }

    void recoveryLeavesALockedContainerAlone()
    {
        QVERIFY(QDir(m_data).removeRecursively());
        QVERIFY(writeFile(m_container + QStringLiteral("/.TempData/halb.txt"), "halb"));
        // A restore that runs holds the container's lock.
        const int held = ::open(QFile::encodeName(m_container).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(held >= 0);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
        const RecoveryResult result = recoverContainer(m_container);
        ::close(held);
        QCOMPARE(outcomeName(result), "nothingToDo");
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral(".TempData")});
    }

    void recoveryOfAMissingContainerCreatesNothing()
    {
        const QString missing = path(QStringLiteral("nirgends"));
        QVERIFY(recoverContainer(missing));
        QVERIFY(!QFileInfo::exists(missing));
    }

    void restoreRecoversFirst()
    {
        QVERIFY(QDir(m_data).removeRecursively());
        QVERIFY(writeFile(m_container + QStringLiteral("/.TempData/halb.txt"), "halb"));
        QVERIFY(writeFile(m_container + QStringLiteral("/.RemovingData.Zz9Yy8/halb.txt"), "halb"));
        QVERIFY(restoreBackup(m_backup, m_container, password));
        QCOMPARE(treeSnapshot(m_data), m_newTree);
        QCOMPARE(entriesOf(m_container), dataOnly());
    }

    void modes_data()
    {
        QTest::addColumn<int>("oldDataMode"); // -1: no Data before
        QTest::newRow("private Data") << 0700;
        QTest::newRow("group may read") << 0750;
        QTest::newRow("no Data before") << -1;
    }

    // Data keeps its mode; folders take the stored mode masked with the umask; folders the
    // archive names only through their content get the default.
    void modes()
    {
        QFETCH(int, oldDataMode);
        if (oldDataMode < 0)
            QVERIFY(QDir(m_data).removeRecursively());
        else
            QCOMPARE(::chmod(QFile::encodeName(m_data).constData(), mode_t(oldDataMode)), 0);
        const QString backup = writeBackup(QStringLiteral("Backup_2024-04-01_00-00-00.orlwen"),
                                           makeZip({{"Data/", AE_IFDIR, {}, 0777},
                                                    {"Data/privat/", AE_IFDIR, {}, 0700},
                                                    {"Data/offen/", AE_IFDIR, {}, 0777},
                                                    {"Data/offen/datei", AE_IFREG, "x", 0666},
                                                    {"Data/nurlesen/", AE_IFDIR, {}, 0555},
                                                    {"Data/nurlesen/datei", AE_IFREG, "x", 0444},
                                                    {"Data/implizit/tief/datei", AE_IFREG, "x", 0600},
                                                    {"Data/spaet/kind/datei", AE_IFREG, "x", 0644},
                                                    {"Data/spaet/", AE_IFDIR, {}, 0711}}));
        const mode_t previous = ::umask(027);
        const ArchiveResult result = restoreBackup(backup, m_container, password);
        ::umask(previous);
        QVERIFY2(result, codeName(result));

        const QList<std::pair<QString, int>> expected{
            {QString(), oldDataMode < 0 ? 0700 : oldDataMode},
            {QStringLiteral("privat"), 0700},
            {QStringLiteral("offen"), 0750},
            {QStringLiteral("offen/datei"), 0640},
            {QStringLiteral("nurlesen"), 0550},
            {QStringLiteral("nurlesen/datei"), 0440},
            {QStringLiteral("implizit"), 0750},
            {QStringLiteral("implizit/tief"), 0750},
            {QStringLiteral("implizit/tief/datei"), 0600},
            {QStringLiteral("spaet"), 0710},
            {QStringLiteral("spaet/kind"), 0750},
        };
        for (const auto& [name, mode] : expected) {
            const QString item = name.isEmpty() ? m_data : m_data + QLatin1Char('/') + name;
            QVERIFY2(modeOf(item) == mode, qPrintable(QStringLiteral("%1: %2").arg(name).arg(modeOf(item), 0, 8)));
        }
    }

    void notARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to a backup") << QStringLiteral("link");
        QTest::newRow("folder") << QStringLiteral("folder");
    }

    // Only a regular file is read as a backup: a FIFO named like one answers at once.
    void notARegularFile()
    {
        QFETCH(QString, kind);
        const QString odd = path(QStringLiteral("backups/Backup_2024-05-01_00-00-00.orlwen"));
        const QByteArray local = QFile::encodeName(odd);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(local.constData(), 0600), 0);
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(m_backup, odd));
        else
            QVERIFY(QDir().mkpath(odd));

        QFuture<ArchiveResult> future = EncryptionService::shared().restoreEncryptedArchive(odd, m_container, password);
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 20000);
        QCOMPARE(codeName(future.result()), "archiveCreationFailed");
        verifyUntouched();
    }

    void nulInEntryName_data()
    {
        QTest::addColumn<QByteArray>("name"); // '\x02' marks the byte that becomes NUL
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("where");
        const QString both = QStringLiteral("both");
        QTest::newRow("file") << QByteArray("Data/alt.txt\x02.neu") << int(AE_IFREG) << both;
        QTest::newRow("folder") << QByteArray("Data/Ordner\x02x/") << int(AE_IFDIR) << both;
        QTest::newRow("link") << QByteArray("Data/ver\x02weis") << int(AE_IFLNK) << both;
        QTest::newRow("only the local header")
            << QByteArray("Data/alt.txt\x02.neu") << int(AE_IFREG) << QStringLiteral("local");
        QTest::newRow("only the central directory")
            << QByteArray("Data/alt.txt\x02.neu") << int(AE_IFREG) << QStringLiteral("central");
    }

    // libarchive would cut the name at the NUL and replace Data with what the archive never named.
    void nulInEntryName()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, type);
        QFETCH(QString, where);
        QByteArray zip = makeZip({{"Data/", AE_IFDIR, {}}, {name, type, type == AE_IFLNK ? "ziel" : "neu"}});
        QByteArray withNul = name;
        withNul.replace('\x02', '\0');
        const qsizetype first = zip.indexOf(name);
        const qsizetype last = zip.lastIndexOf(name);
        QVERIFY(first >= 0 && last > first);
        if (where != QLatin1String("central"))
            zip.replace(first, name.size(), withNul);
        if (where != QLatin1String("local"))
            zip.replace(last, name.size(), withNul);
        const QString backup = writeBackup(QStringLiteral("Backup_2024-06-01_00-00-00.orlwen"), zip);

        const ArchiveResult result = restoreBackup(backup, m_container, password);
        QCOMPARE(codeName(result), "archiveCreationFailed");
        verifyUntouched();
    }

    void linkCannotBeMade_data()
    {
        QTest::addColumn<QByteArray>("zip");
        const QByteArray longName = QByteArray("Data/") + QByteArray(300, 'v');
        QTest::newRow("the same link twice")
            << makeZip({{"Data/", AE_IFDIR, {}}, {"Data/verweis", AE_IFLNK, "a"}, {"Data/verweis", AE_IFLNK, "b"}});
        QTest::newRow("a link over a file")
            << makeZip({{"Data/", AE_IFDIR, {}}, {"Data/datei", AE_IFREG, "x"}, {"Data/datei", AE_IFLNK, "ziel"}});
        QTest::newRow("a name over the file system's limit")
            << makeZip({{"Data/", AE_IFDIR, {}}, {"Data/gut.txt", AE_IFREG, "x"}, {longName, AE_IFLNK, "ziel"}});
        QTest::newRow("a link without a target") << makeZip({{"Data/", AE_IFDIR, {}}, {"Data/leer", AE_IFLNK, ""}});
    }

    // A restore that would lack one of the archive's links fails, and Data stays as it was.
    void linkCannotBeMade()
    {
        QFETCH(QByteArray, zip);
        const QString backup = writeBackup(QStringLiteral("Backup_2024-07-01_00-00-00.orlwen"), zip);
        const ArchiveResult result = restoreBackup(backup, m_container, password);
        QCOMPARE(codeName(result), "archiveCreationFailed");
        verifyUntouched();
    }

    void headersDisagree_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArray>("options");
        const QByteArray file("Data/neu.txt");
        const QByteArray link("Data/verweis");
        const QByteArray folder("Data/Ordner/");
        const QByteArray stored("zip:compression=store");
        const QByteArray zip64("zip:compression=store,zip:zip64");
        QTest::newRow("name in the local header") << file << QByteArray("local name") << stored;
        QTest::newRow("name in the central directory") << file << QByteArray("central name") << stored;
        QTest::newRow("link name in the local header") << link << QByteArray("local name") << stored;
        QTest::newRow("a file that the central directory calls a folder")
            << file << QByteArray("central folder") << stored;
        QTest::newRow("a folder that the central directory calls a file")
            << folder << QByteArray("central file") << stored;
        QTest::newRow("method in the local header") << file << QByteArray("local method") << stored;
        QTest::newRow("size in the local header") << file << QByteArray("local size") << stored;
        QTest::newRow("CRC-32 in the data descriptor") << file << QByteArray("descriptor crc") << stored;
        QTest::newRow("size in the data descriptor") << file << QByteArray("descriptor size") << stored;
        QTest::newRow("CRC-32 in a ZIP64 data descriptor") << file << QByteArray("descriptor crc") << zip64;
        QTest::newRow("size in a ZIP64 data descriptor") << file << QByteArray("descriptor size 64") << zip64;
        QTest::newRow("CRC-32 of a link in the local header") << link << QByteArray("local crc") << stored;
        QTest::newRow("a link's target") << link << QByteArray("link target") << stored;
        QTest::newRow("a link's target, ZIP64") << link << QByteArray("link target") << zip64;
        QTest::newRow("an entry that the end record does not count") << link << QByteArray("end count") << stored;
    }

    // An archive whose local header (or its data descriptor) and central directory tell another
    // story of an entry is changed: the restore fails and Data stays as it was. Unchanged, the
    // same archive restores.
    void headersDisagree()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QByteArray, change);
        QFETCH(QByteArray, options);
        const QByteArray good = makeZip({{"Data/", AE_IFDIR, {}},
                                         {"Data/neu.txt", AE_IFREG, "neue Daten"},
                                         {"Data/Ordner/", AE_IFDIR, {}},
                                         {"Data/verweis", AE_IFLNK, "neu.txt"}},
                                        options.constData());
        const QString intact = writeBackup(QStringLiteral("Backup_2024-08-01_00-00-00.orlwen"), good);
        const ArchiveResult control = restoreBackup(intact, path(QStringLiteral("intact")), password);
        QVERIFY2(control, codeName(control));

        QByteArray zip = good;
        const ZipEntryLayout at = zipEntryLayout(zip, entry);
        QVERIFY(at.local >= 0);
        const qsizetype nameEnd = entry.size() - (entry.endsWith('/') ? 2 : 1); // the last letter of the name
        if (change == "local name") {
            zip[at.local + 30 + nameEnd] = 'X';
        } else if (change == "central name") {
            zip[at.central + 46 + nameEnd] = 'X';
        } else if (change == "central folder") {
            putLittleEndian(&zip, at.central + 38, quint64(040755) << 16, 4);
        } else if (change == "central file") {
            putLittleEndian(&zip, at.central + 38, quint64(0100644) << 16, 4);
        } else if (change == "local method") {
            putLittleEndian(&zip, at.local + 8, 8, 2);
        } else if (change == "local size") {
            putLittleEndian(&zip, at.local + 22, 11, 4);
        } else if (change == "local crc") {
            zip[at.local + 14] = char(zip[at.local + 14] ^ 0x01);
        } else if (change == "link target") {
            zip[at.data] = 'N';
        } else if (change == "end count") {
            // The last entry (the link) stays in the central directory, but the count leaves it out.
            const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06"));
            QVERIFY(end >= 0);
            putLittleEndian(&zip, end + 8, 3, 2);
            putLittleEndian(&zip, end + 10, 3, 2);
        } else {
            QVERIFY(at.descriptor >= 0);
            QCOMPARE(zip.mid(at.descriptor, 4), QByteArray("PK\x07\x08"));
            if (change == "descriptor crc")
                zip[at.descriptor + 4] = char(zip[at.descriptor + 4] ^ 0x01);
            else if (change == "descriptor size")
                putLittleEndian(&zip, at.descriptor + 12, 11, 4);
            else if (change == "descriptor size 64")
                putLittleEndian(&zip, at.descriptor + 16, 11, 8);
        }
        QVERIFY(zip != good);
        const QString backup = writeBackup(QStringLiteral("Backup_2024-08-02_00-00-00.orlwen"), zip);
        const ArchiveResult result = restoreBackup(backup, m_container, password);
        QCOMPARE(codeName(result), "archiveCreationFailed");
        verifyUntouched();
    }

    // With Data in the lower layer of an overlay file system not even a plain rename can move it:
    // the restore fails, and Data and the container stay as they were.
    void dataInTheLowerLayerOfAnOverlay()
    {
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("mounting needs root"));
        const QString lower = path(QStringLiteral("lower"));
        const QString upper = path(QStringLiteral("upper"));
        const QString work = path(QStringLiteral("work"));
        const QString merged = path(QStringLiteral("merged"));
        QVERIFY(QDir().mkpath(lower));
        QVERIFY(QFile::rename(m_container, lower + QStringLiteral("/container")));
        for (const QString& folder : {upper, work, merged})
            QVERIFY(QDir().mkpath(folder));
        QProcess mount;
        mount.setProcessChannelMode(QProcess::MergedChannels);
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("overlay"), QStringLiteral("overlay"), QStringLiteral("-o"),
                     QStringLiteral("lowerdir=%1,upperdir=%2,workdir=%3").arg(lower, upper, work), merged});
        QVERIFY(mount.waitForFinished(30000));
        QVERIFY2(mount.exitCode() == 0, mount.readAll().constData());
        // Unmounted also when a check below fails.
        const std::unique_ptr<QString, void (*)(QString*)> unmount(new QString(merged), [](QString* at) {
            QProcess::execute(QStringLiteral("umount"), {*at});
            delete at;
        });
        m_container = merged + QStringLiteral("/container");
        m_data = m_container + QStringLiteral("/Data");

        const ArchiveResult result = restoreBackup(m_backup, m_container, password);
        QCOMPARE(codeName(result), "archiveCreationFailed");
        verifyUntouched();
    }

    // Every byte of a small archive changed in turn: a restore either fails and leaves Data as it
    // was, or restores exactly the archive's names, types, link targets and contents. Only the
    // central directory's host system and attributes, which no local header repeats, and the
    // permission bits and times, which the tree does not compare, may change unnoticed.
    void everyChangedByte()
    {
        const QByteArray good = makeZip({{"Data/", AE_IFDIR, {}},
                                         {"Data/neu.txt", AE_IFREG, "neue Daten"},
                                         {"Data/Ordner/", AE_IFDIR, {}},
                                         {"Data/Ordner/tief.txt", AE_IFREG, "tief"},
                                         {"Data/verweis", AE_IFLNK, "neu.txt"}});
        const QString intact = writeBackup(QStringLiteral("Backup_2024-09-01_00-00-00.orlwen"), good);
        const QString reference = path(QStringLiteral("intact"));
        QVERIFY(restoreBackup(intact, reference, password));
        const QMap<QString, QString> expected = treeSnapshot(reference + QStringLiteral("/Data"));
        QCOMPARE(expected.size(), 4);

        QList<std::pair<qsizetype, qsizetype>> unchecked; // ranges of the central records' attributes
        for (const QByteArray& name : {QByteArray("Data/"), QByteArray("Data/neu.txt"), QByteArray("Data/Ordner/"),
                                       QByteArray("Data/Ordner/tief.txt"), QByteArray("Data/verweis")}) {
            const ZipEntryLayout at = zipEntryLayout(good, name);
            QVERIFY(at.central >= 0);
            unchecked.append({at.central + 4, at.central + 6}); // version made by
            unchecked.append({at.central + 38, at.central + 42}); // external attributes
        }
        int restored = 0;
        for (qsizetype i = 0; i < good.size(); ++i) {
            if (std::any_of(unchecked.begin(), unchecked.end(),
                            [i](const auto& range) { return i >= range.first && i < range.second; }))
                continue;
            QByteArray zip = good;
            zip[i] = char(zip[i] ^ 0x04);
            const QString backup = writeBackup(QStringLiteral("Backup_2024-09-02_00-00-00.orlwen"), zip);
            const ArchiveResult result = restoreBackup(backup, m_container, password);
            const QString context = QStringLiteral("byte %1 changed").arg(i);
            if (!result) {
                QVERIFY2(treeSnapshot(m_data) == m_oldTree, qPrintable(context + QStringLiteral(": Data changed")));
                QVERIFY2(entriesOf(m_container) == dataOnly(), qPrintable(context + QStringLiteral(": left over")));
                continue;
            }
            ++restored;
            QVERIFY2(treeSnapshot(m_data) == expected, qPrintable(context + QStringLiteral(": restored as whole")));
            // Back to the old Data for the next byte.
            QVERIFY(QDir(m_data).removeRecursively());
            QVERIFY(writeFile(m_data + QStringLiteral("/alt.txt"), "alte Daten"));
            QVERIFY(writeFile(m_data + QStringLiteral("/Ordner/alt2.txt"), "alt 2"));
        }
        // Times, permissions and the other unchecked fields do change without harm.
        qInfo("%d of %lld changed archives restored whole", restored, qlonglong(good.size()));
        QVERIFY(restored > 0);
    }
};

TARN_TEST_MAIN(TestRestoreHardening)
#include "TestRestoreHardening.moc"
