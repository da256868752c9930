#include "core/archive/ArchiveCipher.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QProcess>

#include <archive.h>
#include <archive_entry.h>

#include <clocale>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString password = QStringLiteral("Namen 1");

// A file name is a byte string; these are the ones that break code that takes it for text.
const QByteArray latin1 = "Bericht_M\xfcller.txt";
const QByteArray nfc = "\xc3\xbc"
                       "ber.txt";
const QByteArray nfd = "u\xcc\x88"
                       "ber.txt";
const QByteArray newline = "Zeile\nzwei";
const QByteArray backslash = "links\\rechts";
const QByteArray longest = QByteArray("\xc3\xa4").repeated(127) + "x"; // 255 bytes, as long as a name may be
const QByteArray latin1Folder = "Ordner_\xe4";
const QByteArray latin1Link = "Verweis_\xfc";

bool writeBytes(const QByteArray& path, const QByteArray& content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

// Every entry below a folder by its path in bytes: a file's content, "-> target" for a link,
// "/" for a folder.
void collect(const QByteArray& dir, const QByteArray& prefix, QMap<QByteArray, QByteArray>* tree)
{
    DIR* list = ::opendir(dir.constData());
    if (!list)
        return;
    while (dirent* e = ::readdir(list)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray full = dir + '/' + name;
        const QByteArray key = prefix + name;
        struct stat st = {};
        ::lstat(full.constData(), &st);
        if (S_ISDIR(st.st_mode)) {
            tree->insert(key, "/");
            collect(full, key + '/', tree);
        } else if (S_ISLNK(st.st_mode)) {
            QByteArray target(4096, '\0');
            target.truncate(::readlink(full.constData(), target.data(), size_t(target.size())));
            tree->insert(key, "-> " + target);
        } else {
            QByteArray content;
            const int fd = ::open(full.constData(), O_RDONLY | O_CLOEXEC);
            char buffer[65536];
            for (ssize_t n = 0; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                content.append(buffer, n);
            if (fd >= 0)
                ::close(fd);
            tree->insert(key, content);
        }
    }
    ::closedir(list);
}

QMap<QByteArray, QByteArray> byteTree(const QString& dir)
{
    QMap<QByteArray, QByteArray> tree;
    collect(QFile::encodeName(dir), QByteArray(), &tree);
    return tree;
}

// Readable output for a failed comparison.
QString shown(const QMap<QByteArray, QByteArray>& tree)
{
    QStringList lines;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        lines << QString::fromLatin1(it.key().toPercentEncoding("/"));
    return lines.join(QLatin1String(", "));
}

// The process locale for the length of one test.
class ProcessLocale
{
public:
    explicit ProcessLocale(const char* name)
        : m_previous(std::setlocale(LC_ALL, nullptr))
    {
        m_valid = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ProcessLocale() { std::setlocale(LC_ALL, m_previous.constData()); }
    bool isValid() const { return m_valid; }

private:
    QByteArray m_previous;
    bool m_valid = false;
};

// A ZIP written the way earlier versions wrote backups: every name handed to libarchive as UTF-8
// under the "hdrcharset=UTF-8" option.
QByteArray earlierZip(const QList<ZipItem>& items)
{
    return makeZip(items, "zip:compression=store,zip:hdrcharset=UTF-8", true);
}

QByteArray hex(const QByteArray& bytes)
{
    return bytes.toHex();
}

// Runs a tool; its exit code, with its error output in *errors.
int run(const QString& program, const QStringList& arguments, QByteArray* errors,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    *errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

// File names are byte strings: a backup stores them as they are and a restore gives them back
// as they were, whatever their encoding and whatever the process locale.
class TestBackupNames : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> m_dir;
    QString m_source;
    QString m_backups;

    QString path(const QString& name) const { return m_dir->path(name); }
    QByteArray sourceBytes() const { return QFile::encodeName(m_source); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScratchDir>();
        QVERIFY(m_dir->isValid());
        m_source = path(QStringLiteral("source/Data"));
        m_backups = path(QStringLiteral("backups"));
        QVERIFY(QDir().mkpath(m_source));
    }

    void cleanup() { m_dir.reset(); }

    void namesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("UTF-8 locale") << QByteArray("C.UTF-8");
        QTest::newRow("C locale") << QByteArray("C");
    }

    // Latin-1, NFC and NFD names side by side, a newline, a backslash and a 255-byte name come
    // back byte for byte from a restore, and from unzip after openssl; an entry is marked UTF-8
    // exactly when its name is non-ASCII UTF-8.
    void namesRoundTrip()
    {
        QFETCH(QByteArray, locale);
        const QByteArray root = sourceBytes() + '/';
        const QList<QByteArray> files{latin1, nfc, nfd, newline, backslash, longest};
        for (const QByteArray& name : files)
            QVERIFY(writeBytes(root + name, "Inhalt von " + name));
        QCOMPARE(::mkdir((root + latin1Folder).constData(), 0755), 0);
        QVERIFY(writeBytes(root + latin1Folder + '/' + nfd, "tief"));
        QCOMPARE(::symlink(latin1.constData(), (root + latin1Link).constData()), 0);
        const QMap<QByteArray, QByteArray> before = byteTree(m_source);
        QCOMPARE(before.size(), files.size() + 3);

        const QString container = path(QStringLiteral("container"));
        {
            const ProcessLocale processLocale(locale.constData());
            QVERIFY(processLocale.isValid());
            const ArchiveResult created = createBackup(m_source, m_backups, password);
            QVERIFY2(created, codeName(created));
            const ArchiveResult restored =
                restoreBackup(m_backups + QLatin1Char('/') + entriesOf(m_backups).value(0), container, password);
            QVERIFY2(restored, codeName(restored));
        }
        const QMap<QByteArray, QByteArray> after = byteTree(container + QStringLiteral("/Data"));
        QVERIFY2(after == before, qPrintable(shown(after)));

        // The flag, in the local header and in the central directory alike.
        const QString backup = m_backups + QLatin1Char('/') + entriesOf(m_backups).value(0);
        QFile file(backup);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray zip =
            ArchiveCipher::aesDecrypt(ArchiveCipher::deriveKey(password), ArchiveCipher::iv(), file.readAll())
                .value_or(QByteArray());
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const QByteArray name = "Data/" + it.key() + (it.value() == "/" ? "/" : "");
            const ZipEntryLayout layout = zipEntryLayout(zip, name);
            QVERIFY2(layout.local >= 0, name.toPercentEncoding().constData());
            const bool ascii = std::all_of(name.cbegin(), name.cend(), [](char c) { return quint8(c) < 0x80; });
            const bool link = it.value().startsWith("-> ");
            const bool utf8 = !ascii && QByteArrayView(name).isValidUtf8() &&
                (!link || QByteArrayView(it.value()).sliced(3).isValidUtf8());
            QCOMPARE(bool(quint8(zip[layout.local + 7]) & 0x08), utf8);
            QCOMPARE(bool(quint8(zip[layout.central + 9]) & 0x08), utf8);
        }

        // The usual tools read the same names: the cipher's parameters derived on their own.
        QByteArray errors;
        const QString keyFile = path(QStringLiteral("key"));
        QProcess kdf;
        kdf.start(QStringLiteral("openssl"),
                  {QStringLiteral("kdf"), QStringLiteral("-keylen"), QStringLiteral("32"), QStringLiteral("-kdfopt"),
                   QStringLiteral("digest:SHA256"), QStringLiteral("-kdfopt"),
                   QStringLiteral("pass:") + password + QString::fromLatin1(ArchiveCipher::internalKey),
                   QStringLiteral("-kdfopt"), QStringLiteral("salt:") + QString::fromLatin1(ArchiveCipher::saltText),
                   QStringLiteral("-kdfopt"), QStringLiteral("iter:%1").arg(ArchiveCipher::iterations),
                   QStringLiteral("PBKDF2")});
        QVERIFY(kdf.waitForFinished(60000));
        QCOMPARE(kdf.exitCode(), 0);
        const QByteArray key = kdf.readAllStandardOutput().trimmed().replace(':', "");
        QCOMPARE(key.size(), 64);
        const QString plain = path(QStringLiteral("plain.zip"));
        QCOMPARE(run(QStringLiteral("openssl"),
                     {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-256-cbc"), QStringLiteral("-K"),
                      QString::fromLatin1(key), QStringLiteral("-iv"),
                      QString::fromLatin1(hex(QByteArray(ArchiveCipher::ivText))), QStringLiteral("-in"), backup,
                      QStringLiteral("-out"), plain},
                     &errors),
                 0);
        // unzip writes UTF-8 names in the locale's encoding, and control characters only with -^.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        const QString unzipped = path(QStringLiteral("unzipped"));
        QCOMPARE(run(QStringLiteral("unzip"),
                     {QStringLiteral("-q"), QStringLiteral("-^"), plain, QStringLiteral("-d"), unzipped}, &errors,
                     environment),
                 0);
        const QMap<QByteArray, QByteArray> unzippedTree = byteTree(unzipped + QStringLiteral("/Data"));
        QVERIFY2(unzippedTree == before,
                 qPrintable(shown(unzippedTree) + QLatin1Char(' ') + QString::fromUtf8(errors)));
    }

    void earlierBackupsRestoreAlike_data()
    {
        QTest::addColumn<QByteArray>("writtenUnder");
        QTest::addColumn<QByteArray>("restoredUnder");
        QTest::addColumn<QList<QByteArray>>("names");
        const QList<QByteArray> umlauts{"\xc3\xa4rger", "Ordner_\xc3\xb6/" + nfc};
        const QByteArray utf8("C.UTF-8");
        const QByteArray c("C");
        QTest::newRow("umlauts") << utf8 << utf8 << umlauts;
        QTest::newRow("umlauts, restored under the C locale") << utf8 << c << umlauts;
        // Written under the C locale, the name went in unnormalized.
        QTest::newRow("NFC and NFD side by side") << c << utf8 << QList<QByteArray>{nfc, nfd};
        QTest::newRow("NFD name, restored under the C locale") << c << c << QList<QByteArray>{nfd};
    }

    // Backups written before (UTF-8 names, marked UTF-8) restore their names as stored: never
    // normalized, and under any locale.
    void earlierBackupsRestoreAlike()
    {
        QFETCH(QByteArray, writtenUnder);
        QFETCH(QByteArray, restoredUnder);
        QFETCH(QList<QByteArray>, names);
        QList<ZipItem> items{{"Data/", AE_IFDIR, {}}};
        QMap<QByteArray, QByteArray> expected;
        for (const QByteArray& name : names) {
            const qsizetype slash = name.indexOf('/');
            if (slash > 0 && !expected.contains(name.left(slash))) {
                items.append({"Data/" + name.left(slash + 1), AE_IFDIR, {}});
                expected.insert(name.left(slash), "/");
            }
            items.append({"Data/" + name, AE_IFREG, "Inhalt von " + name});
            expected.insert(name, "Inhalt von " + name);
        }
        QByteArray zip;
        {
            const ProcessLocale processLocale(writtenUnder.constData());
            QVERIFY(processLocale.isValid());
            zip = earlierZip(items);
        }
        for (const QByteArray& name : names) {
            const ZipEntryLayout layout = zipEntryLayout(zip, "Data/" + name);
            QVERIFY2(layout.local >= 0, name.toPercentEncoding().constData());
            QVERIFY(quint8(zip[layout.local + 7]) & 0x08);
        }
        const QString backup = path(QStringLiteral("Backup_2024-01-01_00-00-00.orlwen"));
        QVERIFY(writeFile(backup, encryptBackup(zip, password)));

        const QString container = path(QStringLiteral("container"));
        {
            const ProcessLocale processLocale(restoredUnder.constData());
            QVERIFY(processLocale.isValid());
            const ArchiveResult restored = restoreBackup(backup, container, password);
            QVERIFY2(restored, codeName(restored));
        }
        const QMap<QByteArray, QByteArray> after = byteTree(container + QStringLiteral("/Data"));
        QVERIFY2(after == expected, qPrintable(shown(after)));
    }

    // A path longer than a ZIP header can hold fails the backup with a German message that names
    // the file, and leaves no backup and no temporary file.
    void nameTooLongForABackup()
    {
        // 255 folders of 255 bytes, and a file whose name takes the path past the 65535 bytes a
        // ZIP name may have.
        const QByteArray folder(255, 'o');
        const QByteArray name = "tief_" + QByteArray(242, 'u') + ".txt";
        int fd = ::open(sourceBytes().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QByteArray deep = "Data";
        for (int level = 0; level < 255; ++level) {
            QCOMPARE(::mkdirat(fd, folder.constData(), 0755), 0);
            const int next = ::openat(fd, folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            QVERIFY(next >= 0);
            fd = next;
            deep += '/' + folder;
        }
        const int file = ::openat(fd, name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ::close(fd);
        QVERIFY(file >= 0);
        ::close(file);
        QVERIFY(writeFile(m_source + QStringLiteral("/oben.txt"), "oben"));

        const ArchiveResult result = createBackup(m_source, m_backups, password);
        // Paths this long are beyond what QDir removes.
        QProcess::execute(QStringLiteral("rm"),
                          {QStringLiteral("-rf"), m_source + QLatin1Char('/') + QString::fromLatin1(folder)});
        QCOMPARE(codeName(result), "archiveCreationFailed");
        QCOMPARE(result.error().unstorableName, QString::fromLatin1(deep + '/' + name));
        QCOMPARE(entriesOf(m_backups), QStringList());
        QCOMPARE(RestoreZipViewModel::textFor(result.error()),
                 QStringLiteral("Das Backup wurde nicht erstellt: Der Pfad der Datei „tief_") + QString(25, u'u') +
                     QChar(0x2026) + QString(25, u'u') + QStringLiteral(".txt“ ist zu lang."));
    }

    void unstorableNameInTheMessage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("control characters")
            << QStringLiteral("Data/a/Zeile\nzwei\t.txt") << QStringLiteral("Zeile?zwei?.txt");
        QTest::newRow("long name") << QStringLiteral("Data/") + QString(100, QLatin1Char('x')) + QStringLiteral("y")
                                   << QString(30, QLatin1Char('x')) + QChar(0x2026) + QString(28, QLatin1Char('x')) +
                QStringLiteral("y");
    }

    // The message shows the file's own name on one line and of a readable length.
    void unstorableNameInTheMessage()
    {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        FinderCommentError error(FinderCommentError::archiveCreationFailed);
        error.unstorableName = path;
        QCOMPARE(RestoreZipViewModel::textFor(error),
                 QStringLiteral("Das Backup wurde nicht erstellt: Der Pfad der Datei „") + shown +
                     QStringLiteral("“ ist zu lang."));
    }
};

TARN_TEST_MAIN(TestBackupNames)
#include "TestBackupNames.moc"
