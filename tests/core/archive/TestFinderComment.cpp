#include "core/archive/FinderComment.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

constexpr const char* attribute = "user.com.apple.metadata:kMDItemFinderComment";
constexpr const char* desktopAttribute = "user.xdg.comment";

QString repeated(const QString& unit, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += unit;
    return text;
}

// The attribute's raw value, or nothing without one.
std::optional<QByteArray> attributeValue(const QString& path, const char* name = attribute)
{
    const QByteArray local = QFile::encodeName(path);
    const ssize_t size = ::getxattr(local.constData(), name, nullptr, 0);
    if (size < 0)
        return std::nullopt;
    QByteArray value(size, '\0');
    if (::getxattr(local.constData(), name, value.data(), size_t(value.size())) != size)
        return std::nullopt;
    return value;
}

std::optional<QByteArray> commentFileContent(const QString& path)
{
    QFile file(commentFilePath(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// Hidden names left beside the backup other than its comment file: half-written temporary files.
QStringList strayHiddenFiles(const QString& path)
{
    QStringList names = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    names.removeIf([&](const QString& name) {
        return !name.startsWith(QLatin1Char('.')) || name == QFileInfo(commentFilePath(path)).fileName();
    });
    return names;
}

} // namespace

// The backup file of a test on the file system, or a skip when it cannot be had here.
#define BACKUP_ON(fileSystem)                                                                                          \
    m_file = backupOn(fileSystem);                                                                                     \
    if (m_file.isEmpty())                                                                                              \
        TARN_SKIP_UNLESS_PRIVILEGED(                                                                                   \
            QStringLiteral("no %1 here: %2")                                                                           \
                .arg(fileSystem,                                                                                       \
                     fileSystem == QLatin1String("exFAT") ? m_exfat->skipReason() : m_ext4Image->skipReason()));

// The comment of a backup on the file systems users keep backups on: ext4, and exFAT (USB sticks),
// which keeps no extended attributes.
class TestFinderComment : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MountedImage> m_exfat;
    std::unique_ptr<MountedImage> m_ext4Image;
    QTemporaryDir m_temp;
    QString m_ext4;
    QString m_file;

    static void addFileSystems() { QTest::addColumn<QString>("fileSystem"); }

    // A fresh backup file on the file system, or an empty path when it cannot be had here.
    QString backupOn(const QString& fileSystem)
    {
        const QString root =
            fileSystem == QLatin1String("exFAT") ? (m_exfat->isMounted() ? m_exfat->path() : QString()) : m_ext4;
        if (root.isEmpty())
            return {};
        const QString folder = root + QStringLiteral("/Backups");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/Backup_2024-03-05_14-07-09.orlwen");
        QFile file(path);
        return file.open(QIODevice::WriteOnly) ? path : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        m_exfat = std::make_unique<MountedImage>(MountedImage::Kind::exfat);
        if (MountedImage::isOnExt4(m_temp.path())) {
            m_ext4 = m_temp.path();
        } else {
            m_ext4Image = std::make_unique<MountedImage>(MountedImage::Kind::ext4);
            if (m_ext4Image->isMounted())
                m_ext4 = m_ext4Image->path();
        }
    }

    void cleanupTestCase()
    {
        m_exfat.reset();
        m_ext4Image.reset();
    }

    void writesAndReadsBack_data()
    {
        addFileSystems();
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("cut");
        const QString exact = repeated(QStringLiteral("a"), 4000);
        // "e" + combining acute accent: one character, two code units.
        const QString combined = repeated(QStringLiteral("e\u0301"), 1300);
        const QString umlauts = repeated(QStringLiteral("äöüß"), 1000);
        // A thumb with a skin tone: one character of 8 bytes.
        const QString emoji = repeated(QStringLiteral("\U0001F44D\U0001F3FD"), 1000);
        const QString manyEmoji = repeated(QStringLiteral("\U0001F600"), 4000);
        for (const QString& fs : {QStringLiteral("ext4"), QStringLiteral("exFAT")}) {
            const auto row = [&fs](const char* name) -> QTestData& {
                return QTest::addRow("%s: %s", qPrintable(fs), name);
            };
            row("plain") << fs << QStringLiteral("Vor dem Update") << QStringLiteral("Vor dem Update") << false;
            row("umlauts and line breaks")
                << fs << QStringLiteral("Grüße\nzweite Zeile") << QStringLiteral("Grüße\nzweite Zeile") << false;
            row("exactly 4000") << fs << exact << exact << false;
            row("4001 is cut to 4000") << fs << exact + QLatin1Char('b') << exact << true;
            row("characters, not code units") << fs << combined << combined << false;
            row("4000 umlauts") << fs << umlauts << umlauts << false;
            row("1000 emoji") << fs << emoji << emoji << false;
            row("4000 emoji") << fs << manyEmoji << manyEmoji << false;
            row("4001 combined characters are cut to 4000")
                << fs << repeated(QStringLiteral("e\u0301"), 4001) << repeated(QStringLiteral("e\u0301"), 4000) << true;
        }
    }

    // Every comment of up to 4000 characters is kept, in the attribute or, where the file system
    // refuses it, in the comment file; never in both.
    void writesAndReadsBack()
    {
        QFETCH(QString, fileSystem);
        QFETCH(QString, comment);
        QFETCH(QString, stored);
        QFETCH(bool, cut);
        BACKUP_ON(fileSystem);
        const ArchiveResult result = setFinderComment(m_file, comment);
        if (cut) {
            QVERIFY(!result);
            QCOMPARE(result.error().code, FinderCommentError::commentTooLong);
            QCOMPARE(result.error().truncatedComment, stored);
        } else {
            QVERIFY2(result, result ? "" : FinderCommentError::name(result.error().code));
        }
        QCOMPARE(getFinderComment(m_file), std::optional<QString>(stored));

        const qsizetype bytes = stored.toUtf8().size();
        const std::optional<QByteArray> inAttribute = attributeValue(m_file);
        const std::optional<QByteArray> inFile = commentFileContent(m_file);
        QVERIFY2(inAttribute.has_value() != inFile.has_value(), "the comment must be in exactly one place");
        QCOMPARE(inAttribute.value_or(inFile.value_or(QByteArray())), stored.toUtf8());
        if (fileSystem == QLatin1String("exFAT") || bytes > 4096)
            QVERIFY(inFile);
        else if (bytes <= 3000)
            QVERIFY(inAttribute);
        QCOMPARE(strayHiddenFiles(m_file), QStringList());
        if (inFile) {
            QCOMPARE(QFileInfo(commentFilePath(m_file)).fileName(),
                     QStringLiteral(".Backup_2024-03-05_14-07-09.orlwen.comment"));
        }
    }

    // File managers show the desktop's comment attribute: a copy where it fits, never an old one.
    void desktopCommentAttribute()
    {
        BACKUP_ON(QStringLiteral("ext4"));
        QVERIFY(setFinderComment(m_file, QStringLiteral("Vor dem Umzug")));
        QCOMPARE(attributeValue(m_file, desktopAttribute), std::optional<QByteArray>("Vor dem Umzug"));
        const QString umlauts = repeated(QStringLiteral("ä"), 4000);
        QVERIFY(setFinderComment(m_file, umlauts));
        QVERIFY(attributeValue(m_file, desktopAttribute) != std::optional<QByteArray>("Vor dem Umzug"));
        QVERIFY(setFinderComment(m_file, QString()));
        QVERIFY(!attributeValue(m_file, desktopAttribute));
    }

    void editsLeaveOneVersion_data()
    {
        addFileSystems();
        QTest::addColumn<QStringList>("comments");
        const QString shortText = QStringLiteral("kurz");
        const QString longText = repeated(QStringLiteral("Ü"), 3000);
        for (const QString& fs : {QStringLiteral("ext4"), QStringLiteral("exFAT")}) {
            QTest::addRow("%s: short, long, short", qPrintable(fs))
                << fs << QStringList{shortText, longText, shortText + QLatin1Char('2')};
            QTest::addRow("%s: long, long, empty", qPrintable(fs))
                << fs << QStringList{longText, longText + QLatin1Char('x'), QString()};
            QTest::addRow("%s: long, empty, short", qPrintable(fs))
                << fs << QStringList{longText, QString(), shortText};
        }
    }

    // An edit replaces the comment wherever it was kept: no second, older version stays behind.
    void editsLeaveOneVersion()
    {
        QFETCH(QString, fileSystem);
        QFETCH(QStringList, comments);
        BACKUP_ON(fileSystem);
        for (const QString& comment : std::as_const(comments)) {
            QVERIFY(setFinderComment(m_file, comment));
            const std::optional<QString> expected = comment.isEmpty() ? std::nullopt : std::optional<QString>(comment);
            QCOMPARE(getFinderComment(m_file), expected);
            const std::optional<QByteArray> inAttribute = attributeValue(m_file);
            const std::optional<QByteArray> inFile = commentFileContent(m_file);
            QVERIFY(!(inAttribute && !inAttribute->isEmpty() && inFile));
            if (inAttribute && !inAttribute->isEmpty())
                QCOMPARE(*inAttribute, comment.toUtf8());
            if (inFile)
                QCOMPARE(*inFile, comment.toUtf8());
            QCOMPARE(strayHiddenFiles(m_file), QStringList());
        }
    }

    void invalidText()
    {
        BACKUP_ON(QStringLiteral("ext4"));
        const QString loneSurrogate(QChar(0xD800));
        const ArchiveResult result = setFinderComment(m_file, QStringLiteral("a") + loneSurrogate);
        QVERIFY(!result);
        QCOMPARE(result.error().code, FinderCommentError::invalidEncoding);
        QVERIFY(!getFinderComment(m_file));
    }

    void missingFile_data()
    {
        addFileSystems();
        QTest::newRow("ext4") << "ext4";
        QTest::newRow("exFAT") << "exFAT";
    }

    // No comment file for a backup that is not there.
    void missingFile()
    {
        QFETCH(QString, fileSystem);
        BACKUP_ON(fileSystem);
        const QString missing = QFileInfo(m_file).absolutePath() + QStringLiteral("/Backup_2000-01-01_00-00-00.orlwen");
        const ArchiveResult result = setFinderComment(missing, QStringLiteral("x"));
        QVERIFY(!result);
        QCOMPARE(result.error().code, FinderCommentError::failedToAddComment);
        QVERIFY(!getFinderComment(missing));
        QVERIFY(!QFileInfo::exists(commentFilePath(missing)));
    }

    void readsNothing_data()
    {
        addFileSystems();
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("set");
        QTest::newRow("no attribute") << "ext4" << QByteArray() << false;
        QTest::newRow("empty value") << "ext4" << QByteArray() << true;
        QTest::newRow("not UTF-8") << "ext4" << QByteArray("\xff\xfe\x80") << true;
        QTest::newRow("exFAT: no comment file") << "exFAT" << QByteArray() << false;
        QTest::newRow("exFAT: empty comment file") << "exFAT" << QByteArray() << true;
        QTest::newRow("exFAT: comment file not UTF-8") << "exFAT" << QByteArray("\xff\xfe\x80") << true;
    }

    void readsNothing()
    {
        QFETCH(QString, fileSystem);
        QFETCH(QByteArray, raw);
        QFETCH(bool, set);
        BACKUP_ON(fileSystem);
        if (set && fileSystem == QLatin1String("exFAT")) {
            QFile file(commentFilePath(m_file));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(raw), raw.size());
        } else if (set) {
            QCOMPARE(
                ::setxattr(QFile::encodeName(m_file).constData(), attribute, raw.constData(), size_t(raw.size()), 0),
                0);
        }
        QVERIFY(!getFinderComment(m_file));
    }

    // A comment file whose backup is gone, or that is no file at all, is no comment.
    void oddCommentFilesAreIgnored()
    {
        BACKUP_ON(QStringLiteral("ext4"));
        const QString orphan = QFileInfo(m_file).absolutePath() + QStringLiteral("/Backup_2000-01-01_00-00-00.orlwen");
        QFile file(commentFilePath(orphan));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("verwaist");
        file.close();
        QVERIFY(!getFinderComment(orphan));

        // A FIFO would block a reader that opened it plainly.
        QCOMPARE(::mkfifo(QFile::encodeName(commentFilePath(m_file)).constData(), 0600), 0);
        QVERIFY(!getFinderComment(m_file));
        QVERIFY(removeCommentFile(m_file));
        QVERIFY(!QFileInfo::exists(commentFilePath(m_file)));
    }

    void emptyCommentWritesEmptyValue()
    {
        BACKUP_ON(QStringLiteral("ext4"));
        QVERIFY(setFinderComment(m_file, QStringLiteral("alt")));
        QVERIFY(setFinderComment(m_file, QString()));
        QCOMPARE(::getxattr(QFile::encodeName(m_file).constData(), attribute, nullptr, 0), 0);
        QVERIFY(!getFinderComment(m_file));
    }
};

TARN_TEST_MAIN(TestFinderComment)
#include "TestFinderComment.moc"
