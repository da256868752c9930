#include "core/archive/ArchiveCipher.h"
#include "core/archive/EncryptionService.h"
#include "core/archive/FinderComment.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <archive_entry.h>

#include <sys/xattr.h>

namespace {

const QString password = QStringLiteral("Geheim 1");

// A data folder with the shapes a backup must carry.
void makeFixture(const QString& data)
{
    QVERIFY(writeFile(data + QStringLiteral("/notes.txt"), "Termine\n"));
    QVERIFY(writeFile(data + QStringLiteral("/Ordner mit Leerzeichen/Grüße Ä ö ß.txt"), "Umlaute im Namen\n"));
    QVERIFY(writeFile(data + QStringLiteral("/a/b/c/tief.txt"), "tief verschachtelt\n"));
    QVERIFY(writeFile(data + QStringLiteral("/a/leer.txt"), QByteArray()));
    QVERIFY(writeFile(data + QStringLiteral("/a/gross.bin"), randomBytes(16384 * 3 + 5, 1)));
    QVERIFY(writeFile(data + QStringLiteral("/a/sehr gross.bin"), randomBytes(3 * 1024 * 1024 + 77, 2)));
    QVERIFY(writeFile(data + QStringLiteral("/.versteckt"), "hidden\n"));
    QDir().mkpath(data + QStringLiteral("/leerer Ordner"));
    QDir().mkpath(data + QStringLiteral("/a/leer/noch leerer"));
    QVERIFY(QFile::link(QStringLiteral("../notes.txt"), data + QStringLiteral("/a/relativ")));
    QVERIFY(QFile::link(QStringLiteral("/etc/hostname"), data + QStringLiteral("/absolut")));
    QVERIFY(QFile::link(QStringLiteral("b/c"), data + QStringLiteral("/a/ordnerlink")));
    QVERIFY(QFile::link(QStringLiteral("gibt es nicht"), data + QStringLiteral("/verwaist")));
}

QString keyHex(const QString& pw)
{
    return QString::fromLatin1(ArchiveCipher::deriveKey(pw).toHex());
}

QString ivHex()
{
    return QString::fromLatin1(ArchiveCipher::iv().toHex());
}

int runTool(const QString& program, const QStringList& args, const QString& dir = QString(), QByteArray* out = nullptr)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(program, args);
    if (!process.waitForFinished(120000))
        return -1;
    if (out)
        *out = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray encrypt(const QByteArray& plain)
{
    return encryptBackup(plain, password);
}

ArchiveResult create(const QString& from, const QString& to, const QString& pw = password,
                     const QString& comment = QString(), const FaultPlan& faults = FaultPlan::none())
{
    return createBackup(from, to, pw, comment, faults);
}

ArchiveResult restore(const QString& from, const QString& to, const QString& pw = password,
                      const FaultPlan& faults = FaultPlan::none())
{
    return restoreBackup(from, to, pw, faults);
}

} // namespace

class TestEncryptionService : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_source; // .../Data with the fixture
    QString m_backups;
    QString m_container; // holds an old Data
    QMap<QString, QString> m_sourceTree;
    QMap<QString, QString> m_oldTree;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The one backup in the folder; besides it only its comment file may be there.
    QString onlyBackup(const QString& folder = {}) const
    {
        const QString dir = folder.isEmpty() ? m_backups : folder;
        QStringList names = entriesOf(dir);
        if (names.size() == 2 && names[0] == QLatin1Char('.') + names[1] + QStringLiteral(".comment"))
            names.removeFirst();
        return names.size() == 1 ? dir + QLatin1Char('/') + names.first() : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_source = path(QStringLiteral("source/Data"));
        makeFixture(m_source);
        m_sourceTree = treeSnapshot(m_source);
        QVERIFY(m_sourceTree.size() > 15);
    }

    void init()
    {
        m_backups = path(QStringLiteral("backups"));
        m_container = path(QStringLiteral("container"));
        QVERIFY(writeFile(m_container + QStringLiteral("/Data/alt.txt"), "alte Daten"));
        QVERIFY(writeFile(m_container + QStringLiteral("/Data/.alt versteckt"), "alt"));
        QVERIFY(writeFile(m_container + QStringLiteral("/Data/Unterordner/alt2.txt"), "alt 2"));
        m_oldTree = treeSnapshot(m_container + QStringLiteral("/Data"));
    }

    void cleanup()
    {
        QDir(m_backups).removeRecursively();
        QDir(m_container).removeRecursively();
        QDir(path(QStringLiteral("outside"))).removeRecursively();
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("pw");
        QTest::newRow("password") << password;
        QTest::newRow("empty password") << QString();
        QTest::newRow("umlauts in password") << QStringLiteral("Pässwört ß");
    }

    void roundTrip()
    {
        QFETCH(QString, pw);
        QVERIFY(create(m_source, m_backups, pw, QStringLiteral("Vor dem Update")));
        const QString backup = onlyBackup();
        QVERIFY2(QRegularExpression(QStringLiteral("/Backup_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.orlwen$"))
                     .match(backup)
                     .hasMatch(),
                 qPrintable(backup));
        QCOMPARE(getFinderComment(backup), std::optional<QString>(QStringLiteral("Vor dem Update")));
        QCOMPARE(QFileInfo(backup).size() % 16, 0);

        const ArchiveResult result = restore(backup, m_container, pw);
        QVERIFY2(result, codeName(result));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_sourceTree);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
        QCOMPARE(treeSnapshot(m_source), m_sourceTree);
    }

    void sourceWithTrailingSlash()
    {
        QVERIFY(create(m_source + QStringLiteral("/"), m_backups + QStringLiteral("/")));
        QVERIFY(restore(onlyBackup(), m_container));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_sourceTree);
    }

    // The backup is nothing but AES-256-CBC of a stored ZIP with every path under Data/.
    void standardToolsReadOurBackup()
    {
        QVERIFY(create(m_source, m_backups));
        const QString plain = path(QStringLiteral("outside/plain.zip"));
        QDir().mkpath(path(QStringLiteral("outside")));
        QCOMPARE(runTool(QStringLiteral("openssl"),
                         {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-256-cbc"),
                          QStringLiteral("-K"), keyHex(password), QStringLiteral("-iv"), ivHex(), QStringLiteral("-in"),
                          onlyBackup(), QStringLiteral("-out"), plain}),
                 0);
        QCOMPARE(runTool(QStringLiteral("unzip"), {QStringLiteral("-tq"), plain}), 0);
        QByteArray listing;
        QCOMPARE(runTool(QStringLiteral("zipinfo"), {QStringLiteral("-l"), plain}, QString(), &listing), 0);
        int entries = 0;
        for (const QByteArray& line : listing.split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 10 || !(line.startsWith('-') || line.startsWith('d') || line.startsWith('l')))
                continue;
            ++entries;
            QCOMPARE(fields[6], QByteArray("stor"));
            QVERIFY2(fields[9].startsWith("Data/"), line.constData());
        }
        QCOMPARE(entries, m_sourceTree.size() + 1);
        const QString unpacked = path(QStringLiteral("outside/unzipped"));
        QDir().mkpath(unpacked);
        QCOMPARE(runTool(QStringLiteral("unzip"), {QStringLiteral("-q"), plain}, unpacked), 0);
        QCOMPARE(treeSnapshot(unpacked + QStringLiteral("/Data")), m_sourceTree);
    }

    void restoresBackupMadeWithStandardTools()
    {
        QDir().mkpath(path(QStringLiteral("outside")));
        const QString zip = path(QStringLiteral("outside/tools.zip"));
        const QString backup = path(QStringLiteral("outside/Backup_2024-03-05_14-07-09.orlwen"));
        QCOMPARE(runTool(QStringLiteral("zip"),
                         {QStringLiteral("-0"), QStringLiteral("-r"), QStringLiteral("-y"), QStringLiteral("-q"), zip,
                          QStringLiteral("Data")},
                         path(QStringLiteral("source"))),
                 0);
        QCOMPARE(runTool(QStringLiteral("openssl"),
                         {QStringLiteral("enc"), QStringLiteral("-aes-256-cbc"), QStringLiteral("-K"), keyHex(password),
                          QStringLiteral("-iv"), ivHex(), QStringLiteral("-in"), zip, QStringLiteral("-out"), backup}),
                 0);
        const ArchiveResult result = restore(backup, m_container);
        QVERIFY2(result, codeName(result));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_sourceTree);
    }

    void createFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        using E = FinderCommentError;
        QTest::newRow("source missing") << QStringLiteral("source missing") << int(E::directoryNotFound);
        QTest::newRow("destination inside source") << QStringLiteral("inside") << int(E::archiveCreationFailed);
        QTest::newRow("destination is source") << QStringLiteral("same") << int(E::archiveCreationFailed);
        QTest::newRow("destination inside source through a link")
            << QStringLiteral("via link") << int(E::archiveCreationFailed);
        QTest::newRow("destination is a file") << QStringLiteral("file") << int(E::archiveCreationFailed);
        QTest::newRow("failure while packing") << QStringLiteral("midway") << int(E::archiveCreationFailed);
    }

    void createFailures()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QString from = m_source;
        QString to = m_backups + QStringLiteral("/neu/tiefer");
        FaultPlan faults;
        if (kind == QLatin1String("source missing"))
            from = path(QStringLiteral("nirgends/Data"));
        else if (kind == QLatin1String("inside"))
            to = m_source + QStringLiteral("/a/Backups");
        else if (kind == QLatin1String("same"))
            to = m_source + QStringLiteral("/");
        else if (kind == QLatin1String("via link")) {
            QDir().mkpath(m_backups);
            QVERIFY(QFile::link(m_source + QStringLiteral("/a"), m_backups + QStringLiteral("/zu-a")));
            to = m_backups + QStringLiteral("/zu-a/Backups");
        } else if (kind == QLatin1String("file")) {
            QVERIFY(writeFile(m_backups + QStringLiteral("/datei"), "x"));
            to = m_backups + QStringLiteral("/datei");
        } else if (kind == QLatin1String("midway")) {
            faults.failCreateAfterEntries = 5;
            QDir().mkpath(to);
        }
        const QStringList before = QFileInfo::exists(m_backups) ? entriesOf(m_backups) : QStringList();
        const ArchiveResult result = create(from, to, password, QString(), faults);
        QVERIFY(!result);
        QCOMPARE(FinderCommentError::name(result.error().code),
                 FinderCommentError::name(FinderCommentError::Code(code)));
        QCOMPARE(treeSnapshot(m_source), m_sourceTree);
        if (kind == QLatin1String("midway"))
            QCOMPARE(entriesOf(to), QStringList());
        else
            QCOMPARE(QFileInfo::exists(m_backups) ? entriesOf(m_backups) : QStringList(), before);
    }

    void createsMissingDestination()
    {
        const QString to = m_backups + QStringLiteral("/eins/zwei");
        QVERIFY(create(m_source, to));
        QCOMPARE(entriesOf(to).size(), 1);
    }

    void commentOutcomes_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("stored");
        const QString long4000 = QString(4000, QLatin1Char('k'));
        QTest::newRow("none") << QString() << QStringLiteral("success") << QString();
        QTest::newRow("blanks and tabs only") << QStringLiteral(" \t  ") << QStringLiteral("success") << QString();
        QTest::newRow("kept untrimmed") << QStringLiteral("  Notiz ") << QStringLiteral("success")
                                        << QStringLiteral("  Notiz ");
        QTest::newRow("4001 characters") << long4000 + QLatin1Char('x') << QStringLiteral("commentTooLong") << long4000;
        QTest::newRow("not encodable") << QStringLiteral("a") + QChar(0xD800) << QStringLiteral("invalidEncoding")
                                       << QString();
        // More than ext4 keeps in an attribute: the comment file holds it.
        QTest::newRow("too large for an attribute")
            << QString(3000, QChar(0x00FC)) << QStringLiteral("success") << QString(3000, QChar(0x00FC));
    }

    // A comment failure still leaves a complete, restorable backup and no temporary file.
    void commentOutcomes()
    {
        QFETCH(QString, comment);
        QFETCH(QString, code);
        QFETCH(QString, stored);
        const ArchiveResult result = create(m_source, m_backups, password, comment);
        QCOMPARE(QString::fromLatin1(codeName(result)), code);
        if (code == QLatin1String("commentTooLong"))
            QCOMPARE(result.error().truncatedComment, stored);
        const QString backup = onlyBackup();
        QVERIFY(!backup.isEmpty());
        QCOMPARE(getFinderComment(backup), stored.isEmpty() ? std::nullopt : std::optional<QString>(stored));
        if (comment.trimmed().isEmpty())
            QVERIFY(::getxattr(QFile::encodeName(backup).constData(), "user.com.apple.metadata:kMDItemFinderComment",
                               nullptr, 0) < 0);
        QVERIFY(restore(backup, m_container));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_sourceTree);
    }

    // A USB stick keeps no attributes: the backup's comment goes to its comment file, and a second
    // backup of the same second leaves the first one's comment alone.
    void commentsOnExfat()
    {
        MountedImage stick(MountedImage::Kind::exfat);
        if (!stick.isMounted())
            TARN_SKIP_UNLESS_PRIVILEGED(stick.skipReason());
        const QString folder = stick.path() + QStringLiteral("/Backups");
        const QString small = path(QStringLiteral("klein/Data"));
        QVERIFY(writeFile(small + QStringLiteral("/x"), "x"));
        const QDateTime moment(QDate(2024, 3, 5), QTime(14, 7, 9, 100));
        FaultPlan faults;
        faults.fixedStampMSecs = moment.toMSecsSinceEpoch();
        const ArchiveResult first = create(small, folder, password, QStringLiteral("Grüße vom Stick"), faults);
        faults.fixedStampMSecs = moment.addMSecs(800).toMSecsSinceEpoch();
        const ArchiveResult second = create(small, folder, password, QStringLiteral("zweites"), faults);
        QVERIFY2(first, codeName(first));
        QCOMPARE(QString::fromLatin1(codeName(second)), QStringLiteral("archiveCreationFailed"));
        const QString backup = onlyBackup(folder);
        QVERIFY2(!backup.isEmpty(), qPrintable(entriesOf(folder).join(u' ')));
        QCOMPARE(getFinderComment(backup), std::optional<QString>(QStringLiteral("Grüße vom Stick")));
        QVERIFY(QFileInfo::exists(commentFilePath(backup)));
        QVERIFY(restore(backup, m_container));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), treeSnapshot(small));
    }

    // A comment file left by a backup deleted elsewhere is no comment of a new backup of that name.
    void newBackupIgnoresAnOldCommentFile()
    {
        const QDateTime moment(QDate(2024, 3, 5), QTime(14, 7, 9));
        const QString name = QStringLiteral("/Backup_2024-03-05_14-07-09.orlwen");
        QVERIFY(writeFile(m_backups + QStringLiteral("/.Backup_2024-03-05_14-07-09.orlwen.comment"), "verwaist"));
        FaultPlan faults;
        faults.fixedStampMSecs = moment.toMSecsSinceEpoch();
        const ArchiveResult result = create(m_source, m_backups, password, QString(), faults);
        QVERIFY2(result, codeName(result));
        QCOMPARE(getFinderComment(m_backups + name), std::nullopt);
        QCOMPARE(entriesOf(m_backups), QStringList{name.mid(1)});
    }

    // Backups are named by the second; a second backup of the same second fails and the first stays.
    void sameSecondKeepsTheEarlierBackup()
    {
        const QString small = path(QStringLiteral("klein/Data"));
        QVERIFY(writeFile(small + QStringLiteral("/x"), "x"));
        const QDateTime moment(QDate(2024, 3, 5), QTime(14, 7, 9, 100));
        FaultPlan faults;
        faults.fixedStampMSecs = moment.toMSecsSinceEpoch();
        QVERIFY(create(small, m_backups, password, QStringLiteral("erstes"), faults));
        faults.fixedStampMSecs = moment.addMSecs(800).toMSecsSinceEpoch();
        const ArchiveResult second = create(small, m_backups, password, QStringLiteral("zweites"), faults);
        QVERIFY(!second);
        QCOMPARE(second.error().code, FinderCommentError::archiveCreationFailed);
        QCOMPARE(entriesOf(m_backups), QStringList{QStringLiteral("Backup_2024-03-05_14-07-09.orlwen")});
        QCOMPARE(getFinderComment(onlyBackup()), std::optional<QString>(QStringLiteral("erstes")));
        QVERIFY(restore(onlyBackup(), m_container));
    }

    void restoreFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        using E = FinderCommentError;
        QTest::newRow("empty backup") << QStringLiteral("empty") << int(E::encryptedFileNotFound);
        QTest::newRow("missing backup") << QStringLiteral("missing") << int(E::archiveCreationFailed);
        QTest::newRow("truncated mid-block") << QStringLiteral("truncated") << int(E::archiveCreationFailed);
        QTest::newRow("invalid padding") << QStringLiteral("bad padding") << int(E::archiveCreationFailed);
        QTest::newRow("no ZIP signature")
            << QStringLiteral("no signature") << int(E::missingEndOfCentralDirectoryRecord);
        QTest::newRow("fewer than 4 bytes") << QStringLiteral("short") << int(E::missingEndOfCentralDirectoryRecord);
        QTest::newRow("ZIP cut in half") << QStringLiteral("half zip") << int(E::archiveCreationFailed);
        QTest::newRow("bit flipped") << QStringLiteral("bit flip") << int(E::archiveCreationFailed);
        QTest::newRow("entry with ../") << QStringLiteral("dotdot") << int(E::archiveCreationFailed);
        QTest::newRow("entry with Data/../../") << QStringLiteral("data dotdot") << int(E::archiveCreationFailed);
        QTest::newRow("absolute entry") << QStringLiteral("absolute") << int(E::archiveCreationFailed);
        QTest::newRow("write through a link to outside")
            << QStringLiteral("through link") << int(E::archiveCreationFailed);
        QTest::newRow("folder through a link to ..")
            << QStringLiteral("through parent link") << int(E::archiveCreationFailed);
        QTest::newRow("failure while unpacking") << QStringLiteral("midway") << int(E::archiveCreationFailed);
        QTest::newRow("swap fails") << QStringLiteral("swap") << int(E::archiveCreationFailed);
    }

    // Every failure leaves the old Data complete, no working folder, and nothing outside.
    void restoreFailures()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        const QString outside = path(QStringLiteral("outside"));
        QDir().mkpath(outside);
        const QString backup = outside + QStringLiteral("/Backup_2024-03-05_14-07-09.orlwen");
        FaultPlan faults;
        QByteArray bytes;
        const QByteArray good = makeZip({{"Data/", AE_IFDIR, {}}, {"Data/neu.txt", AE_IFREG, "neu"}});
        if (kind == QLatin1String("truncated")) {
            bytes = encrypt(good).chopped(5);
        } else if (kind == QLatin1String("bad padding")) {
            bytes = *ArchiveCipher::aesEncrypt(ArchiveCipher::deriveKey(password), ArchiveCipher::iv(),
                                               good + QByteArray(16 - good.size() % 16, '\0'), false);
        } else if (kind == QLatin1String("no signature")) {
            bytes = encrypt("kein ZIP-Archiv, nur Text");
        } else if (kind == QLatin1String("short")) {
            bytes = encrypt("PK\x03");
        } else if (kind == QLatin1String("half zip")) {
            bytes = encrypt(good.left(good.size() / 2));
        } else if (kind == QLatin1String("bit flip")) {
            const QByteArray zip = makeZip({{"Data/gross.bin", AE_IFREG, randomBytes(200000, 3)}});
            bytes = encrypt(zip);
            bytes[100000] = char(bytes[100000] ^ 0x10);
        } else if (kind == QLatin1String("dotdot")) {
            bytes = encrypt(makeZip({{"Data/ok.txt", AE_IFREG, "ok"}, {"../entkommen.txt", AE_IFREG, "x"}}));
        } else if (kind == QLatin1String("data dotdot")) {
            bytes = encrypt(makeZip({{"Data/../../entkommen.txt", AE_IFREG, "x"}}));
        } else if (kind == QLatin1String("absolute")) {
            bytes = encrypt(makeZip({{QFile::encodeName(outside) + "/entkommen.txt", AE_IFREG, "x"}}));
        } else if (kind == QLatin1String("through link")) {
            bytes = encrypt(makeZip(
                {{"Data/link", AE_IFLNK, QFile::encodeName(outside)}, {"Data/link/entkommen.txt", AE_IFREG, "x"}}));
        } else if (kind == QLatin1String("through parent link")) {
            bytes = encrypt(makeZip({{"Data/hoch", AE_IFLNK, ".."}, {"Data/hoch/Data/neu/", AE_IFDIR, {}}}));
        } else if (kind == QLatin1String("midway")) {
            faults.failRestoreAfterEntries = 1;
            bytes = encrypt(good);
        } else if (kind == QLatin1String("swap")) {
            faults.failSwap = true;
            bytes = encrypt(good);
        }
        if (kind != QLatin1String("missing"))
            QVERIFY(writeFile(backup, bytes));

        const ArchiveResult result = restore(backup, m_container, password, faults);
        QVERIFY(!result);
        QCOMPARE(FinderCommentError::name(result.error().code),
                 FinderCommentError::name(FinderCommentError::Code(code)));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_oldTree);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
        QStringList outsideNow = entriesOf(outside);
        outsideNow.removeAll(QFileInfo(backup).fileName());
        QCOMPARE(outsideNow, QStringList());
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("entkommen.txt"))));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("container/entkommen.txt"))));
    }

    void wrongPassword()
    {
        QVERIFY(create(m_source, m_backups));
        const ArchiveResult result = restore(onlyBackup(), m_container, QStringLiteral("falsch"));
        QVERIFY(!result);
        // Invalid padding is the rule; a wrong key that happens to end in valid padding fails the signature.
        QVERIFY2(result.error().code == FinderCommentError::archiveCreationFailed ||
                     result.error().code == FinderCommentError::missingEndOfCentralDirectoryRecord,
                 codeName(result));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_oldTree);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
    }

    // Once swapped in, the new Data stands even when the old content cannot be removed.
    void failedCleanupIsStillSuccess()
    {
        QVERIFY(create(m_source, m_backups));
        FaultPlan faults;
        faults.failCleanup = true;
        const ArchiveResult result = restore(onlyBackup(), m_container, password, faults);
        QVERIFY2(result, codeName(result));
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_sourceTree);
        const QStringList names = entriesOf(m_container);
        QCOMPARE(names.size(), 2);
        QCOMPARE(names.last(), QStringLiteral("Data"));
        // Under its removal name: never again taken for a whole content.
        QVERIFY2(names.first().startsWith(QLatin1String(".RemovingData.")), qPrintable(names.first()));
        QCOMPARE(treeSnapshot(m_container + QLatin1Char('/') + names.first()), m_oldTree);
        // The next restore clears the leftover first.
        QVERIFY(restore(onlyBackup(), m_container));
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
    }

    void restoreEdgeCases_data()
    {
        QTest::addColumn<QByteArray>("zip");
        QTest::addColumn<bool>("withOldData");
        QTest::addColumn<QStringList>("expected"); // "path=description" lines of the new Data
        const QString outside = path(QStringLiteral("outside"));
        QTest::newRow("entry outside Data/ lands in Data")
            << makeZip({{"Data/", AE_IFDIR, {}}, {"Other/file", AE_IFREG, "x"}}) << true
            << QStringList{QStringLiteral("Other=d"), QStringLiteral("Other/file=f:x")};
        QTest::newRow("link to outside is created as stored")
            << makeZip({{"Data/weg", AE_IFLNK, QFile::encodeName(outside)}}) << true
            << QStringList{QStringLiteral("weg=l:") + outside};
        QTest::newRow("container without Data") << makeZip({{"Data/a/b.txt", AE_IFREG, "b"}}) << false
                                                << QStringList{QStringLiteral("a=d"), QStringLiteral("a/b.txt=f:b")};
        QTest::newRow("empty archive") << makeZip({{"Data/", AE_IFDIR, {}}}) << true << QStringList();
    }

    void restoreEdgeCases()
    {
        QFETCH(QByteArray, zip);
        QFETCH(bool, withOldData);
        QFETCH(QStringList, expected);
        if (!withOldData)
            QDir(m_container).removeRecursively();
        QDir().mkpath(path(QStringLiteral("outside")));
        const QString backup = path(QStringLiteral("outside/Backup_2024-03-05_14-07-09.orlwen"));
        QVERIFY(writeFile(backup, encrypt(zip)));
        const ArchiveResult result = restore(backup, m_container);
        QVERIFY2(result, codeName(result));
        QStringList actual;
        const auto tree = treeSnapshot(m_container + QStringLiteral("/Data"));
        for (auto it = tree.begin(); it != tree.end(); ++it) {
            QString value = it.value();
            if (value ==
                QStringLiteral("f:") +
                    QString::fromLatin1(QCryptographicHash::hash("x", QCryptographicHash::Sha256).toHex()))
                value = QStringLiteral("f:x");
            if (value ==
                QStringLiteral("f:") +
                    QString::fromLatin1(QCryptographicHash::hash("b", QCryptographicHash::Sha256).toHex()))
                value = QStringLiteral("f:b");
            actual << it.key() + QLatin1Char('=') + value;
        }
        QCOMPARE(actual, expected);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
    }
};

TARN_TEST_MAIN(TestEncryptionService)
#include "TestEncryptionService.moc"
