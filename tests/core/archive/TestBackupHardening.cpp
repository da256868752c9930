#include "core/archive/EncryptionService.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QLoggingCategory>
#include <QMutex>

#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString password = QStringLiteral("Sichern 1");

// What happens to one entry of the data folder while the backup walks past it.
struct WalkChange
{
    static inline QString source; // the folder being backed up
    static inline QByteArray entry; // "Data/..."
    static inline QByteArray change;
    static inline QByteArray when; // "walk:open" (listed, not yet opened) or "walk:read" (opened)

    static void onOpen(const char* point, const QByteArray& detail)
    {
        if (point != when || detail != entry)
            return;
        const QString file = QFileInfo(source).absolutePath() + QLatin1Char('/') + QString::fromUtf8(detail);
        const QByteArray local = QFile::encodeName(file);
        const QFileInfo info(file);
        if (change == "remove" && info.isDir() && !info.isSymLink())
            QDir(file).removeRecursively();
        else if (change == "remove" || change == "fifo")
            QFile::remove(file);
        if (change == "shrink")
            QFile(file).resize(3);
        else if (change == "fifo")
            ::mkfifo(local.constData(), 0600);
        QFile open(file);
        if (change == "grow" && open.open(QIODevice::Append))
            open.write(QByteArray(5000, 'g'));
        else if (change == "rewrite" && open.open(QIODevice::ReadWrite))
            open.write("XXXX");
    }
};

// A writer that changes a file in place while the backup reads it, and hides it the ways
// timestamps allow: the modification time put back, or two writes within one clock tick.
struct TickChange
{
    static inline QByteArray file; // local path
    static inline QByteArray entry; // "Data/..."
    static inline QByteArray change; // "mtime put back" or "twice in one tick"

    static void overwrite(const char* bytes)
    {
        const int fd = ::open(file.constData(), O_WRONLY | O_CLOEXEC);
        struct stat st = {};
        ::fstat(fd, &st);
        if (::pwrite(fd, bytes, std::strlen(bytes), 0) < 0)
            qFatal("cannot change the file");
        if (change == "mtime put back") {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(fd, times);
        }
        ::close(fd);
    }

    static void onPoint(const char* point, const QByteArray& detail)
    {
        if (detail != entry)
            return;
        // Just before the backup opens the file, so that its last change falls in the read's tick.
        if (change == "twice in one tick" && std::strcmp(point, "walk:open") == 0)
            overwrite("YYYY");
        if (std::strcmp(point, "walk:read") == 0)
            overwrite("XXXX");
    }
};

// A ramfs of its own below a folder of the test, unmounted at the end.
class RamFs
{
public:
    explicit RamFs(const QString& at)
        : m_at(QFile::encodeName(at))
    {
        QDir().mkpath(at);
        m_mounted = ::mount("ramfs", m_at.constData(), "ramfs", MS_NOSUID | MS_NODEV, "mode=0700") == 0;
    }
    ~RamFs()
    {
        if (m_mounted)
            ::umount2(m_at.constData(), MNT_DETACH);
    }
    RamFs(const RamFs&) = delete;
    RamFs& operator=(const RamFs&) = delete;
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_at;
    bool m_mounted = false;
};

// The engine's diagnostic lines, from whatever thread they come.
struct DiagnosticLines
{
    static inline QMutex mutex;
    static inline QStringList lines;
    static inline QtMessageHandler previous = nullptr;

    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (context.category && std::strcmp(context.category, "tarn.diagnostics") == 0) {
            QMutexLocker lock(&mutex);
            lines << text;
        }
        if (previous)
            previous(type, context, text);
    }
    static void start()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tarn.diagnostics.debug=true"));
        QMutexLocker lock(&mutex);
        lines.clear();
        previous = qInstallMessageHandler(&handler);
    }
    static QStringList stop()
    {
        qInstallMessageHandler(previous);
        QMutexLocker lock(&mutex);
        return lines;
    }
};

} // namespace

// Backups under real conditions: private modes, files that change while the walk passes,
// failures deep inside the writer, and what killed backups leave behind.
class TestBackupHardening : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> m_dir;
    QString m_source;
    QString m_backups;

    QString path(const QString& name) const { return m_dir->path(name); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScratchDir>();
        QVERIFY(m_dir->isValid());
        m_source = path(QStringLiteral("source/Data"));
        m_backups = path(QStringLiteral("backups"));
        QVERIFY(writeFile(m_source + QStringLiteral("/journal.db"), randomBytes(40000, 1)));
        QVERIFY(writeFile(m_source + QStringLiteral("/notes.txt"), "Termine"));
        QVERIFY(writeFile(m_source + QStringLiteral("/Ordner/tief.txt"), "tief"));
        QVERIFY(QFile::link(QStringLiteral("notes.txt"), m_source + QStringLiteral("/verweis")));
    }

    void cleanup() { m_dir.reset(); }

    void backupIsPrivate_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("usual umask") << 022;
        QTest::newRow("no umask") << 0;
    }

    void backupIsPrivate()
    {
        QFETCH(int, umask);
        const mode_t previous = ::umask(mode_t(umask));
        const ArchiveResult result = createBackup(m_source, m_backups, password);
        ::umask(previous);
        QVERIFY2(result, codeName(result));
        const QStringList names = entriesOf(m_backups);
        QCOMPARE(names.size(), 1);
        QCOMPARE(modeOf(m_backups + QLatin1Char('/') + names.first()), 0600);
    }

    void entryChangesDuringTheWalk_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArray>("when");
        QTest::addColumn<bool>("succeeds");
        const QByteArray listed("walk:open");
        QTest::newRow("file removed") << QByteArray("Data/journal.db") << QByteArray("remove") << listed << true;
        QTest::newRow("folder removed") << QByteArray("Data/Ordner") << QByteArray("remove") << listed << true;
        QTest::newRow("link removed") << QByteArray("Data/verweis") << QByteArray("remove") << listed << true;
        QTest::newRow("file replaced by a FIFO")
            << QByteArray("Data/journal.db") << QByteArray("fifo") << listed << false;
        QTest::newRow("file shrinks while read")
            << QByteArray("Data/journal.db") << QByteArray("shrink") << QByteArray("walk:read") << false;
        QTest::newRow("file grows while read")
            << QByteArray("Data/journal.db") << QByteArray("grow") << QByteArray("walk:read") << false;
        QTest::newRow("file rewritten in place while read")
            << QByteArray("Data/journal.db") << QByteArray("rewrite") << QByteArray("walk:read") << false;
    }

    // A vanished entry is skipped and the backup holds the rest; a file that changes under the
    // reader (shrinks, grows or is rewritten), or turns into a FIFO, fails the backup at once,
    // leaves nothing behind and names the file in the diagnostics.
    void entryChangesDuringTheWalk()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QByteArray, change);
        QFETCH(QByteArray, when);
        QFETCH(bool, succeeds);
        WalkChange::source = m_source;
        WalkChange::entry = entry;
        WalkChange::change = change;
        WalkChange::when = when;
        FaultPlan faults;
        faults.observer = &WalkChange::onOpen;
        // The file was written well before the backup: a change now gets another modification time.
        const struct timespec past[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_source + QStringLiteral("/journal.db")).constData(), past,
                             AT_SYMLINK_NOFOLLOW),
                 0);

        DiagnosticLines::start();
        QFuture<ArchiveResult> future =
            EncryptionService::shared().createEncryptedArchive(m_source, m_backups, password, QString(), faults);
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 20000);
        const QStringList diagnostics = DiagnosticLines::stop();
        QCOMPARE(codeName(future.result()), succeeds ? "success" : "archiveCreationFailed");
        const QStringList names = entriesOf(m_backups);
        if (!succeeds) {
            QCOMPARE(names, QStringList());
            const QStringList naming =
                diagnostics.filter(QStringLiteral("Ошибка при создании зашифрованного архива: ") +
                                   QString::fromUtf8(entry) + QStringLiteral(": "));
            QVERIFY2(naming.size() == 1, qPrintable(diagnostics.join(u'\n')));
            return;
        }
        QCOMPARE(names.size(), 1);
        const QString container = path(QStringLiteral("container"));
        QVERIFY(restoreBackup(m_backups + QLatin1Char('/') + names.first(), container, password));
        QCOMPARE(treeSnapshot(container + QStringLiteral("/Data")), treeSnapshot(m_source));
        QVERIFY(!QFileInfo::exists(container + QStringLiteral("/") + QString::fromUtf8(entry)));
    }

    void changeHiddenFromTimestamps_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QByteArray>("change");
        for (const char* where : {"disk", "ramfs"}) {
            for (const char* change : {"mtime put back", "twice in one tick"}) {
                const QByteArray name = QByteArray(where) + ", " + change;
                QTest::newRow(name.constData()) << QString::fromLatin1(where) << QByteArray(change);
            }
        }
        // exFAT stamps whole seconds, and its ctime is its mtime: only the second case can be seen.
        QTest::newRow("exFAT, twice in one tick") << QStringLiteral("exFAT") << QByteArray("twice in one tick");
    }

    // A file changed in place while it is read fails the backup even when its size and mtime
    // stay as they were: a writer put the mtime back, or wrote within the clock tick in which
    // the read started (ramfs stamps changes by the tick).
    void changeHiddenFromTimestamps()
    {
        QFETCH(QString, where);
        QFETCH(QByteArray, change);
        std::unique_ptr<RamFs> mount;
        std::unique_ptr<MountedImage> stick;
        QString source = m_source;
        if (where == QLatin1String("ramfs")) {
            mount = std::make_unique<RamFs>(path(QStringLiteral("ramfs")));
            if (!mount->isMounted())
                TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("mounting a ramfs needs root"));
            source = path(QStringLiteral("ramfs/Data"));
        } else if (where == QLatin1String("exFAT")) {
            stick = std::make_unique<MountedImage>(MountedImage::Kind::exfat);
            if (!stick->isMounted())
                TARN_SKIP_UNLESS_PRIVILEGED(stick->skipReason());
            source = stick->path() + QStringLiteral("/Data");
        }
        if (source != m_source) {
            QVERIFY(writeFile(source + QStringLiteral("/notes.txt"), "Termine"));
            QVERIFY(writeFile(source + QStringLiteral("/journal.db"), randomBytes(40000, 1)));
        }
        TickChange::file = QFile::encodeName(source + QStringLiteral("/journal.db"));
        TickChange::entry = "Data/journal.db";
        TickChange::change = change;
        FaultPlan faults;
        faults.observer = &TickChange::onPoint;
        DiagnosticLines::start();
        const ArchiveResult result = createBackup(source, m_backups, password, QString(), faults);
        const QStringList diagnostics = DiagnosticLines::stop();
        QCOMPARE(codeName(result), "archiveCreationFailed");
        QCOMPARE(entriesOf(m_backups), QStringList());
        const QStringList naming =
            diagnostics.filter(QStringLiteral("Data/journal.db: the file changed while it was read"));
        QVERIFY2(naming.size() == 1, qPrintable(diagnostics.join(u'\n')));
    }

    void restoreMarksStayOutOfBackups_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("stored");
        QTest::newRow("mark in Data") << QStringLiteral(".RestoreMark.Ab3456789012Cd34") << false;
        QTest::newRow("mark in a subfolder") << QStringLiteral("Ordner/.RestoreMark.Ab3456789012Cd34") << true;
        QTest::newRow("not a mark's name") << QStringLiteral(".RestoreMark.notes") << true;
    }

    // A restore's mark may be left in Data until the next start: it must not come back with a
    // later backup into the sibling app's folder.
    void restoreMarksStayOutOfBackups()
    {
        QFETCH(QString, name);
        QFETCH(bool, stored);
        QVERIFY(writeFile(m_source + QLatin1Char('/') + name, QByteArray()));
        const ArchiveResult created = createBackup(m_source, m_backups, password);
        QVERIFY2(created, codeName(created));
        const QString container = path(QStringLiteral("restored"));
        const ArchiveResult restored =
            restoreBackup(m_backups + QLatin1Char('/') + entriesOf(m_backups).first(), container, password);
        QVERIFY2(restored, codeName(restored));
        QCOMPARE(QFileInfo::exists(container + QStringLiteral("/Data/") + name), stored);
        QVERIFY(QFileInfo::exists(container + QStringLiteral("/Data/notes.txt")));
    }

    void failureInTheWriterLeavesNoFile()
    {
        FaultPlan faults;
        faults.failCreateAfterEntries = 2;
        const ArchiveResult result = createBackup(m_source, m_backups, password, QString(), faults);
        QCOMPARE(codeName(result), "archiveCreationFailed");
        QCOMPARE(entriesOf(m_backups), QStringList());
    }

    // Without a key nothing is encrypted (never under a key of zeros) and nothing changes.
    void keyDerivationFails()
    {
        FaultPlan faults;
        faults.failKeyDerivation = true;
        QCOMPARE(codeName(createBackup(m_source, m_backups, password, QString(), faults)), "archiveCreationFailed");
        QCOMPARE(entriesOf(m_backups), QStringList());

        QVERIFY(createBackup(m_source, m_backups, password));
        const QString backup = m_backups + QLatin1Char('/') + entriesOf(m_backups).first();
        const QString container = path(QStringLiteral("container"));
        QVERIFY(writeFile(container + QStringLiteral("/Data/alt.txt"), "alt"));
        const QMap<QString, QString> before = treeSnapshot(container);
        QCOMPARE(codeName(restoreBackup(backup, container, password, faults)), "archiveCreationFailed");
        QCOMPARE(treeSnapshot(container), before);
    }

    void temporariesOfKilledBackups_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ageSeconds"); // before now
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("removed");
        const QString temporary = QStringLiteral(".Backup_2024-01-01_00-00-00.Ab12Cd");
        QTest::newRow("killed backup") << temporary << 3600 << false << true;
        QTest::newRow("newer than this process") << temporary << -60 << false << false;
        QTest::newRow("written by a backup that runs") << temporary << 3600 << true << false;
        QTest::newRow("another hidden file")
            << QStringLiteral(".Backup_2024-01-01_00-00-00.zip") << 3600 << false << false;
        QTest::newRow("a backup") << QStringLiteral("Backup_2024-01-01_00-00-00.orlwen") << 3600 << false << false;
    }

    // A backup removes the hidden temporary files that killed backups left, and nothing else.
    void temporariesOfKilledBackups()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, locked);
        QFETCH(bool, removed);
        const QString file = m_backups + QLatin1Char('/') + name;
        QVERIFY(writeFile(file, "halb"));
        const QByteArray local = QFile::encodeName(file);
        const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - ageSeconds, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, local.constData(), times, 0), 0);
        const int holder = ::open(local.constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(holder >= 0);
        if (locked)
            QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);

        const ArchiveResult result = createBackup(m_source, m_backups, password);
        ::close(holder);
        QVERIFY2(result, codeName(result));
        QCOMPARE(QFileInfo::exists(file), !removed);
        QCOMPARE(entriesOf(m_backups).size(), removed ? 1 : 2);
    }
};

TARN_TEST_MAIN(TestBackupHardening)
#include "TestBackupHardening.moc"
