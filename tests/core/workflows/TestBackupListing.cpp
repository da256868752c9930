#include "core/workflows/BackupListing.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <sys/xattr.h>
#include <unistd.h>

// Which names are backups, and the date each name gives.
class TestBackupListing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dateText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("date");
        QTest::newRow("backup") << "Backup_2024-12-24_18-30-05.orlwen"
                                << "24.12.2024 18:30:05";
        QTest::newRow("leap day") << "Backup_2024-02-29_00-00-00.orlwen"
                                  << "29.02.2024 00:00:00";
        QTest::newRow("no such day") << "Backup_2023-02-29_00-00-00.orlwen" << QString();
        QTest::newRow("no such hour") << "Backup_2024-12-24_24-00-00.orlwen" << QString();
        QTest::newRow("zip") << "Backup_2025-01-02_08-00-00.zip" << QString();
        QTest::newRow("upper-case extension") << "Backup_2025-01-02_08-00-00.ORLWEN" << QString();
        QTest::newRow("no stamp") << "Backup_kaputt.orlwen" << QString();
        QTest::newRow("other name") << "Notizen.orlwen" << QString();
        QTest::newRow("lower-case prefix") << "backup_2025-01-02_08-00-00.orlwen" << QString();
        QTest::newRow("stamp and more") << "Backup_2025-01-02_08-00-00x.orlwen" << QString();
        QTest::newRow("two extensions") << "Backup_2025-01-02_08-00-00.orlwen.orlwen" << QString();
    }

    // Dates read and written the same way whatever the user's locale and calendar.
    void dateText()
    {
        QFETCH(QString, name);
        QFETCH(QString, date);
        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Arabic, QLocale::Egypt),
                                      QLocale(QLocale::Persian, QLocale::Iran), QLocale(QLocale::German)}) {
            QLocale::setDefault(locale);
            QCOMPARE(BackupListing::dateText(name).value_or(QString()), date);
        }
        QLocale::setDefault(QLocale::c());
    }

    // A comment holds at most 4000 characters, 16,000 bytes in UTF-8: a comment file is read no further,
    // cut at a character boundary, and a longer one is shown cut.
    void commentFilesAreReadWithinTheBound_data()
    {
        const QString emoji = QStringLiteral("\U0001F600");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << QStringLiteral("Grüße").toUtf8() << QStringLiteral("Grüße");
        QTest::newRow("4000 umlauts") << QString(4000, QChar(0xE4)).toUtf8() << QString(4000, QChar(0xE4));
        QTest::newRow("4000 emoji") << emoji.repeated(4000).toUtf8() << emoji.repeated(4000);
        QTest::newRow("4001 letters") << QByteArray(4001, 'k') << QString(4000, QLatin1Char('k')) + QChar(0x2026);
        QTest::newRow("5000 emoji") << emoji.repeated(5000).toUtf8() << emoji.repeated(4000) + QChar(0x2026);
        QTest::newRow("bound inside a character")
            << (emoji.repeated(3999) + QChar(0xE4) + emoji + QStringLiteral("x")).toUtf8()
            << emoji.repeated(3999) + QChar(0xE4) + QChar(0x2026);
        QTest::newRow("1 MiB") << QByteArray(1024 * 1024, 'k') << QString(4000, QLatin1Char('k')) + QChar(0x2026);
        QTest::newRow("8 MiB") << QByteArray(8 * 1024 * 1024, 'k') << QString(4000, QLatin1Char('k')) + QChar(0x2026);
    }

    void commentFilesAreReadWithinTheBound()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString name = QStringLiteral("Backup_2024-12-24_18-30-05.orlwen");
        QVERIFY(writeFile(dir.filePath(name), "backup"));
        QVERIFY(writeFile(dir.filePath(QLatin1Char('.') + name + QStringLiteral(".comment")), stored));
        const BackupListing::Listing listing = BackupListing::list(dir.path());
        QCOMPARE(listing.backups.size(), 1);
        QCOMPARE(listing.backups.first().comment, std::optional<QString>(shown));
    }

    // The same for the comment attribute, which the kernel lets hold up to 64 KiB where the file
    // system takes that much (tmpfs does).
    void commentAttributesAreReadWithinTheBound_data()
    {
        const QString emoji = QStringLiteral("\U0001F600");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("4000 emoji") << emoji.repeated(4000).toUtf8() << emoji.repeated(4000);
        QTest::newRow("4001 letters") << QByteArray(4001, 'k') << QString(4000, QLatin1Char('k')) + QChar(0x2026);
        QTest::newRow("5000 emoji") << emoji.repeated(5000).toUtf8() << emoji.repeated(4000) + QChar(0x2026);
        QTest::newRow("bound inside a character")
            << (emoji.repeated(3999) + QChar(0xE4) + emoji + QStringLiteral("x")).toUtf8()
            << emoji.repeated(3999) + QChar(0xE4) + QChar(0x2026);
        QTest::newRow("64 KiB") << QByteArray(64 * 1024, 'k') << QString(4000, QLatin1Char('k')) + QChar(0x2026);
    }

    void commentAttributesAreReadWithinTheBound()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("mounting a tmpfs needs root"));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                   QStringLiteral("size=4m"), QStringLiteral("tmpfs"), dir.path()}) == 0);
        const auto unmount = qScopeGuard([&dir] { QProcess::execute(QStringLiteral("umount"), {dir.path()}); });
        const QString name = QStringLiteral("Backup_2024-12-24_18-30-05.orlwen");
        const QString path = dir.filePath(name);
        QVERIFY(writeFile(path, "backup"));
        QCOMPARE(::setxattr(QFile::encodeName(path).constData(), "user.com.apple.metadata:kMDItemFinderComment",
                            stored.constData(), size_t(stored.size()), 0),
                 0);
        const BackupListing::Listing listing = BackupListing::list(dir.path());
        QCOMPARE(listing.backups.size(), 1);
        QCOMPARE(listing.backups.first().comment, std::optional<QString>(shown));
    }
};

TARN_TEST_MAIN(TestBackupListing)
#include "TestBackupListing.moc"
