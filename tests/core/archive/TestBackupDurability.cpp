#include "core/archive/FinderComment.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/FuseMount.h"
#include "tests/support/MountedImage.h"
#include "tests/support/PowerCutCopy.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QRegularExpression>
#include <QThread>

#include <memory>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

const QString password = QStringLiteral("Dauerhaft 1");

// A disk whose power can be cut: an ext4 image, and a folder on it, directly or through bindfs
// (as a gocryptfs, sshfs, rclone or mergerfs home is a FUSE file system over a disk).
class Disk
{
public:
    Disk(bool fuse, const QString& fuseMountPoint)
        : m_image(MountedImage::Kind::ext4, 64)
    {
        if (!m_image.isMounted()) {
            m_error = m_image.skipReason();
            return;
        }
        const QString lower = m_image.path() + QStringLiteral("/lower");
        if (fuse) {
            m_fuse = std::make_unique<FuseMount>(lower, fuseMountPoint);
            if (!m_fuse->isMounted()) {
                m_error = m_fuse->error();
                return;
            }
        } else {
            QDir().mkpath(lower);
        }
        m_ready = settle();
        if (!m_ready)
            m_error = QStringLiteral("cannot sync the image");
    }

    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }
    // Where the application sees the folder.
    QString path() const { return m_fuse ? m_fuse->path() : m_image.path() + QStringLiteral("/lower"); }
    // The same folder in a copy of the disk.
    static QString pathIn(const PowerCutCopy& copy) { return copy.path() + QStringLiteral("/lower"); }
    // Puts everything written so far on the disk: the state before the operation under test.
    bool settle() const
    {
        const int fd = ::open(QFile::encodeName(m_image.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool ok = fd >= 0 && ::syncfs(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    }
    QString imagePath() const { return m_image.imagePath(); }

private:
    MountedImage m_image;
    std::unique_ptr<FuseMount> m_fuse; // goes before the image
    QString m_error;
    bool m_ready = false;
};

// Files of many sizes in a few folders, a link and an empty folder; none of the files is empty.
void writeTree(const QString& root, int files, quint32 seed)
{
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("%1/ordner-%2/datei-%3.bin").arg(root).arg(i % 6).arg(i);
        QVERIFY(writeFile(name, randomBytes(1 + (i * 7919) % 40000, seed + quint32(i))));
    }
    QVERIFY(QDir().mkpath(root + QStringLiteral("/leer")));
    QVERIFY(QFile::link(QStringLiteral("ordner-0/datei-0.bin"), root + QStringLiteral("/verweis")));
}

// How two trees differ, for a failure message.
QString difference(const QMap<QString, QString>& actual, const QMap<QString, QString>& expected)
{
    static const QString emptyFile =
        QStringLiteral("f:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    int differing = 0;
    int empty = 0;
    QStringList examples;
    QStringList keys = actual.keys() + expected.keys();
    keys.removeDuplicates();
    for (const QString& key : keys) {
        if (actual.value(key) == expected.value(key))
            continue;
        ++differing;
        empty += actual.value(key) == emptyFile;
        if (examples.size() < 3)
            examples << key;
    }
    return QStringLiteral("%1 of %2 entries differ, %3 of them empty files (%4)")
        .arg(differing)
        .arg(expected.size())
        .arg(empty)
        .arg(examples.join(QStringLiteral(", ")));
}

// The pid of the bindfs process that serves a mount point, or 0.
pid_t bindfsServing(const QString& mountPoint)
{
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString dir = it.next();
        bool number = false;
        const pid_t pid = pid_t(it.fileName().toInt(&number));
        QFile cmdline(dir + QStringLiteral("/cmdline"));
        if (!number || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = cmdline.readAll().split('\0');
        if (!arguments.isEmpty() && arguments.first().endsWith("bindfs") &&
            arguments.contains(QFile::encodeName(mountPoint)))
            return pid;
    }
    return 0;
}

// Ends a FUSE server at a named point of an operation, as when it crashes or its connection drops.
struct ServerDeath
{
    static inline const char* point = nullptr;
    static inline pid_t server = 0;
    static inline QString mountPoint;
    static inline bool done = false;

    static void observe(const char* at, const QByteArray&)
    {
        if (done || std::strcmp(at, point) != 0)
            return;
        done = true;
        ::kill(server, SIGKILL);
        // Gone once the kernel has dropped its connection.
        const QDeadlineTimer deadline(10000);
        struct statfs fs = {};
        while (::statfs(QFile::encodeName(mountPoint).constData(), &fs) == 0 && !deadline.hasExpired())
            QThread::msleep(5);
    }
};

} // namespace

class TestBackupDurability : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScratchDir> m_scratch;

    QString path(const QString& name) const { return m_scratch->path(name); }

private Q_SLOTS:
    void init()
    {
        m_scratch = std::make_unique<ScratchDir>();
        QVERIFY(m_scratch->isValid());
    }
    void cleanup() { m_scratch.reset(); }

    void createSurvivesPowerCut_data()
    {
        QTest::addColumn<bool>("fuse");
        QTest::addColumn<QString>("comment");
        QTest::newRow("ext4") << false << QStringLiteral("Vor dem Update");
        QTest::newRow("bindfs over ext4") << true << QStringLiteral("Vor dem Update");
        // Too long for an ext4 attribute: the comment goes to a file beside the backup.
        QTest::newRow("bindfs over ext4, comment in a file") << true << QString(4000, QChar(0xE4));
    }

    // A backup reported as made is on the disk under its name, whole, with its comment, at the
    // instant the create returns.
    void createSurvivesPowerCut()
    {
        QFETCH(bool, fuse);
        QFETCH(QString, comment);
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("a power cut is taken from a loop image, which needs root"));
        if (fuse && !FuseMount::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(FuseMount::unavailableReason());
        Disk disk(fuse, path(QStringLiteral("fuse")));
        QVERIFY2(disk.isReady(), qPrintable(disk.error()));
        const QString source = path(QStringLiteral("source/Data"));
        writeTree(source, 150, 1);
        const QString backups = disk.path() + QStringLiteral("/backups");

        const ArchiveResult result = createBackup(source, backups, password, comment);
        const PowerCutCopy copy(disk.imagePath());
        QVERIFY2(result, codeName(result));
        QVERIFY2(copy.isMounted(), qPrintable(copy.error()));

        const QString kept = Disk::pathIn(copy) + QStringLiteral("/backups");
        const QStringList names = entriesOf(backups);
        QCOMPARE(entriesOf(kept), names);
        const QStringList backupNames = names.filter(QRegularExpression(QStringLiteral("^Backup_.*\\.orlwen$")));
        QCOMPARE(backupNames.size(), 1);
        const QString backup = kept + QLatin1Char('/') + backupNames.first();
        QCOMPARE(getFinderComment(backup).value_or(QString()), comment);
        const QString check = path(QStringLiteral("check"));
        const ArchiveResult restored = restoreBackup(backup, check, password);
        QVERIFY2(restored, codeName(restored));
        QCOMPARE(treeSnapshot(check + QStringLiteral("/Data")), treeSnapshot(source));
    }

    void restoreSurvivesPowerCut_data()
    {
        QTest::addColumn<bool>("fuse");
        QTest::addColumn<bool>("oldData");
        QTest::newRow("ext4") << false << true;
        QTest::newRow("bindfs over ext4") << true << true;
        QTest::newRow("bindfs over ext4, no Data before") << true << false;
    }

    // At the instant a restore reports success, Data on the disk is whole: the old content (none
    // where there was no Data) or the new one, never new names with lost content.
    void restoreSurvivesPowerCut()
    {
        QFETCH(bool, fuse);
        QFETCH(bool, oldData);
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("a power cut is taken from a loop image, which needs root"));
        if (fuse && !FuseMount::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(FuseMount::unavailableReason());
        const QString source = path(QStringLiteral("source/Data"));
        writeTree(source, 150, 2);
        const QString backups = path(QStringLiteral("backups"));
        QVERIFY(createBackup(source, backups, password));
        const QString backup = backups + QLatin1Char('/') + entriesOf(backups).first();

        Disk disk(fuse, path(QStringLiteral("fuse")));
        QVERIFY2(disk.isReady(), qPrintable(disk.error()));
        const QString container = disk.path() + QStringLiteral("/container");
        if (oldData)
            writeTree(container + QStringLiteral("/Data"), 20, 3);
        else
            QVERIFY(QDir().mkpath(container));
        const QMap<QString, QString> oldTree = treeSnapshot(container + QStringLiteral("/Data"));
        QVERIFY(disk.settle());

        const ArchiveResult result = restoreBackup(backup, container, password);
        const PowerCutCopy copy(disk.imagePath());
        QVERIFY2(result, codeName(result));
        QVERIFY2(copy.isMounted(), qPrintable(copy.error()));

        const QMap<QString, QString> newTree = treeSnapshot(source);
        const QMap<QString, QString> kept = treeSnapshot(Disk::pathIn(copy) + QStringLiteral("/container/Data"));
        QVERIFY2(kept == newTree || kept == oldTree, qPrintable(difference(kept, newTree)));
    }

    // A comment written to its file (where the file system keeps no attribute of its size) is on
    // the disk under its name once it is reported as written.
    void commentFileSurvivesPowerCut()
    {
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("a power cut is taken from a loop image, which needs root"));
        if (!FuseMount::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(FuseMount::unavailableReason());
        Disk disk(true, path(QStringLiteral("fuse")));
        QVERIFY2(disk.isReady(), qPrintable(disk.error()));
        const QString name = QStringLiteral("/Backup_2024-03-05_14-07-09.orlwen");
        QVERIFY(writeFile(disk.path() + name, randomBytes(4096, 4)));
        QVERIFY(disk.settle());
        const QString comment = QString(4000, QChar(0xF6));

        const ArchiveResult result = setFinderComment(disk.path() + name, comment);
        const PowerCutCopy copy(disk.imagePath());
        QVERIFY2(result, codeName(result));
        QVERIFY2(copy.isMounted(), qPrintable(copy.error()));

        QCOMPARE(getFinderComment(Disk::pathIn(copy) + name).value_or(QString()), comment);
    }

    void leftoverTemporaries_data()
    {
        QTest::addColumn<QString>("leftover"); // what the temporary file holds
        QTest::addColumn<bool>("nameTaken"); // a backup of the same stamp exists
        QTest::addColumn<QString>("outcome"); // "named", "kept" or "removed"
        QTest::newRow("whole backup") << "whole" << false << "named";
        QTest::newRow("whole backup, its name taken") << "whole" << true << "kept";
        QTest::newRow("whole backup of another password") << "other password" << false << "kept";
        QTest::newRow("cut at a block") << "cut at a block" << false << "removed";
        QTest::newRow("cut inside a block") << "cut inside a block" << false << "removed";
        QTest::newRow("empty") << "empty" << false << "removed";
    }

    // After a power loss a whole backup may be left under its temporary name: the next backup
    // gives it its name back and never removes it; only a provably partial one goes.
    void leftoverTemporaries()
    {
        QFETCH(QString, leftover);
        QFETCH(bool, nameTaken);
        QFETCH(QString, outcome);
        const QString source = path(QStringLiteral("source/Data"));
        writeTree(source, 20, 5);
        const QString made = path(QStringLiteral("made"));
        QVERIFY(createBackup(source, made,
                             leftover == QLatin1String("other password") ? QStringLiteral("Alt 1") : password));
        QFile madeFile(made + QLatin1Char('/') + entriesOf(made).first());
        QVERIFY(madeFile.open(QIODevice::ReadOnly));
        QByteArray bytes = madeFile.readAll();
        if (leftover == QLatin1String("cut at a block"))
            bytes.chop(32);
        else if (leftover == QLatin1String("cut inside a block"))
            bytes.chop(5);
        else if (leftover == QLatin1String("empty"))
            bytes.clear();

        const QString backups = path(QStringLiteral("backups"));
        const QString temporary = backups + QStringLiteral("/.Backup_2024-01-01_00-00-00.Ab12Cd");
        const QString named = backups + QStringLiteral("/Backup_2024-01-01_00-00-00.orlwen");
        QVERIFY(writeFile(temporary, bytes));
        if (nameTaken)
            QVERIFY(writeFile(named, "ein anderes Backup"));
        const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(temporary).constData(), times, 0), 0);

        FaultPlan faults;
        faults.fixedStampMSecs = QDateTime(QDate(2024, 2, 1), QTime(12, 0)).toMSecsSinceEpoch();
        const ArchiveResult result = createBackup(source, backups, password, QString(), faults);
        QVERIFY2(result, codeName(result));

        QCOMPARE(QFileInfo::exists(temporary), outcome == QLatin1String("kept"));
        if (outcome == QLatin1String("named")) {
            QFile file(named);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), bytes);
            const QString check = path(QStringLiteral("check"));
            QVERIFY(restoreBackup(named, check, password));
            QCOMPARE(treeSnapshot(check + QStringLiteral("/Data")), treeSnapshot(source));
        } else if (nameTaken) {
            QFile file(named);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("ein anderes Backup"));
        } else {
            QVERIFY(!QFileInfo::exists(named));
        }
    }

    // When the folder's server goes away right after the rename, the backup may not be on the
    // disk under its name: the create fails instead of reporting success.
    void failedSyncFailsCreate()
    {
        if (!FuseMount::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(FuseMount::unavailableReason());
        const QString source = path(QStringLiteral("source/Data"));
        writeTree(source, 20, 6);
        FuseMount mount(path(QStringLiteral("lower")), path(QStringLiteral("fuse")));
        QVERIFY2(mount.isMounted(), qPrintable(mount.error()));
        ServerDeath::point = "create:renamed";
        ServerDeath::server = bindfsServing(mount.path());
        ServerDeath::mountPoint = mount.path();
        ServerDeath::done = false;
        QVERIFY(ServerDeath::server > 0);
        FaultPlan faults;
        faults.observer = &ServerDeath::observe;

        const ArchiveResult result =
            createBackup(source, mount.path() + QStringLiteral("/backups"), password, QString(), faults);
        QVERIFY(ServerDeath::done);
        QCOMPARE(codeName(result), "archiveCreationFailed");
    }
};

TARN_TEST_MAIN(TestBackupDurability)
#include "TestBackupDurability.moc"
