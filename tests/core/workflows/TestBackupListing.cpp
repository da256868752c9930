#include "core/workflows/BackupListing.h"
#include "tests/support/TestMain.h"

#include <QLocale>

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
};

TARN_TEST_MAIN(TestBackupListing)
#include "TestBackupListing.moc"
