#include "core/archive/ArchiveFaults.h"
#include "core/archive/EncryptionService.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <archive_entry.h>

#include <atomic>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
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

QStringList dataOnly()
{
    return {QStringLiteral("Data")};
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

    void cleanup() { m_dir.reset(); }

    // A second restore while one runs is refused at once; the first completes.
    void secondRestoreIsRefused()
    {
        QList<ZipItem> other{{"Data/anders.txt", AE_IFREG, "anders"}};
        SecondRestore::backup = writeBackup(QStringLiteral("Backup_2024-03-06_10-00-00.orlwen"), makeZip(other));
        SecondRestore::container = m_container;
        SecondRestore::started = false;
        SecondRestore::result.reset();
        ArchiveFaults::observer = &SecondRestore::onEntry;

        const ArchiveResult first = restoreBackup(m_backup, m_container, password);
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
        ArchiveFaults::forceSwapFallback = true;
        ArchiveFaults::failFallbackStep = failStep;

        const ArchiveResult result = restoreBackup(m_backup, m_container, password);
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
        const QStringList left = entriesOf(m_container);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left.first().startsWith(QLatin1String(".OldData.")), qPrintable(left.join(u',')));
        const ArchiveResult recovered = EncryptionService::recoverInterruptedRestore(m_container).result();
        QVERIFY2(recovered, codeName(recovered));
        verifyUntouched();
    }

    void recovery_data()
    {
        QTest::addColumn<QStringList>("olds"); // old contents, oldest first; each holds one file of its name
        QTest::addColumn<QStringList>("leftovers"); // working folders of killed runs
        QTest::addColumn<bool>("withData");
        QTest::addColumn<QString>("recovered"); // the old content that becomes Data, or empty
        const QStringList none;
        QTest::newRow("old content without Data")
            << QStringList{QStringLiteral(".OldData.aB3xYz")} << none << false << QStringLiteral(".OldData.aB3xYz");
        QTest::newRow("the newest of two old contents")
            << QStringList{QStringLiteral(".OldData.eins11"), QStringLiteral(".OldData.zwei22")}
            << QStringList{QStringLiteral(".TempData.Q1w2E3")} << false << QStringLiteral(".OldData.zwei22");
        QTest::newRow("old content beside Data")
            << QStringList{QStringLiteral(".OldData.aB3xYz")} << none << true << QString();
        QTest::newRow("working folders of killed runs")
            << none << QStringList{QStringLiteral(".TempData"), QStringLiteral(".TempData.Q1w2E3")} << true
            << QString();
    }

    // At start (and before every restore) an interrupted swap gets its Data back and leftovers go.
    void recovery()
    {
        QFETCH(QStringList, olds);
        QFETCH(QStringList, leftovers);
        QFETCH(bool, withData);
        QFETCH(QString, recovered);
        if (!withData)
            QVERIFY(QDir(m_data).removeRecursively());
        for (const QString& name : olds + leftovers)
            QVERIFY(writeFile(m_container + QLatin1Char('/') + name + QLatin1Char('/') + name, name.toUtf8()));

        const ArchiveResult result = EncryptionService::recoverInterruptedRestore(m_container).result();
        QVERIFY2(result, codeName(result));
        QCOMPARE(entriesOf(m_container), dataOnly());
        if (recovered.isEmpty())
            QCOMPARE(treeSnapshot(m_data), m_oldTree);
        else
            QCOMPARE(entriesOf(m_data), QStringList{recovered});
    }

    void recoveryLeavesALockedContainerAlone()
    {
        QVERIFY(QDir(m_data).removeRecursively());
        QVERIFY(writeFile(m_container + QStringLiteral("/.OldData.aB3xYz/alt.txt"), "alt"));
        // A restore that runs holds the container's lock.
        const int held = ::open(QFile::encodeName(m_container).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(held >= 0);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
        const ArchiveResult result = EncryptionService::recoverInterruptedRestore(m_container).result();
        ::close(held);
        QVERIFY(result);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral(".OldData.aB3xYz")});
    }

    void recoveryOfAMissingContainerCreatesNothing()
    {
        const QString missing = path(QStringLiteral("nirgends"));
        QVERIFY(EncryptionService::recoverInterruptedRestore(missing).result());
        QVERIFY(!QFileInfo::exists(missing));
    }

    void restoreRecoversFirst()
    {
        QVERIFY(QDir(m_data).removeRecursively());
        QVERIFY(writeFile(m_container + QStringLiteral("/.OldData.aB3xYz/alt.txt"), "alt"));
        QVERIFY(writeFile(m_container + QStringLiteral("/.TempData/halb.txt"), "halb"));
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
};

TARN_TEST_MAIN(TestRestoreHardening)
#include "TestRestoreHardening.moc"
