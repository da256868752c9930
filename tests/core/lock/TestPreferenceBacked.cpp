#include "core/lock/PreferenceBacked.h"
#include "tests/support/TestMain.h"

#include <QSettings>

class TestPreferenceBacked : public QObject
{
    Q_OBJECT

    const QString m_key = QStringLiteral("testPreference");

private Q_SLOTS:
    void init() { QSettings().remove(m_key); }

    void firstValueAndWriteBack_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("absent") << QVariant() << 5.0;
        QTest::newRow("number") << QVariant(300.0) << 300.0;
        QTest::newRow("whole number") << QVariant(120) << 120.0;
        QTest::newRow("number as text") << QVariant(QStringLiteral("1800")) << 1800.0;
        QTest::newRow("fraction as text") << QVariant(QStringLiteral("0.5")) << 0.5;
        QTest::newRow("other text") << QVariant(QStringLiteral("zehn")) << 5.0;
        QTest::newRow("empty text") << QVariant(QString()) << 5.0;
        QTest::newRow("not finite") << QVariant(QStringLiteral("inf")) << 5.0;
        QTest::newRow("bool") << QVariant(true) << 5.0;
        QTest::newRow("list") << QVariant(QStringList{QStringLiteral("1")}) << 5.0;
    }

    void firstValueAndWriteBack()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, expected);
        if (stored.isValid()) {
            QSettings().setValue(m_key, stored);
        }
        const PreferenceBacked<double> property(m_key, 5.0);
        QCOMPARE(property.value(), expected);
        // The first value is written back at once, over a value of another type too.
        QCOMPARE(PreferenceStore::storedDouble(QSettings().value(m_key)), std::optional(expected));
    }

    void boolFirstValue_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("absent") << QVariant() << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("false as text") << QVariant(QStringLiteral("false")) << false;
        QTest::newRow("true as text") << QVariant(QStringLiteral("true")) << true;
        QTest::newRow("other text") << QVariant(QStringLiteral("nein")) << true;
        QTest::newRow("number") << QVariant(0) << true;
    }

    void boolFirstValue()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, expected);
        if (stored.isValid()) {
            QSettings().setValue(m_key, stored);
        }
        const PreferenceBacked<bool> property(m_key, true);
        QCOMPARE(property.value(), expected);
        QCOMPARE(PreferenceStore::storedBool(QSettings().value(m_key)), std::optional(expected));
    }

    void everyValueIsWritten()
    {
        PreferenceBacked<double> property(m_key, 5.0);
        property.set(60.0);
        QCOMPARE(QSettings().value(m_key).toDouble(), 60.0);
        property.set(3600.0);
        QCOMPARE(QSettings().value(m_key).toDouble(), 3600.0);
    }

    void valuesSurviveTheSettingsFile()
    {
        {
            PreferenceBacked<double> number(m_key, 5.0);
            number.set(0.25);
            PreferenceBacked<bool> flag(m_key + QStringLiteral("Flag"), false);
            flag.set(true);
        }
        QSettings().sync();
        // A fresh reader of the file, as at the next start.
        QSettings file(QSettings().fileName(), QSettings::IniFormat);
        QCOMPARE(PreferenceStore::storedDouble(file.value(m_key)), std::optional(0.25));
        QCOMPARE(PreferenceStore::storedBool(file.value(m_key + QStringLiteral("Flag"))), std::optional(true));
        QSettings().remove(m_key + QStringLiteral("Flag"));
    }

    void latestPropertyOfAKeyWrites()
    {
        PreferenceBacked<double> older(m_key, 5.0);
        PreferenceBacked<double> newer(m_key, 7.0);
        QCOMPARE(newer.value(), 5.0); // read what the older one wrote
        older.set(1.0);
        QCOMPARE(QSettings().value(m_key).toDouble(), 5.0);
        newer.set(2.0);
        QCOMPARE(QSettings().value(m_key).toDouble(), 2.0);
        QCOMPARE(older.value(), 1.0);
    }
};

TARN_TEST_MAIN(TestPreferenceBacked)
#include "TestPreferenceBacked.moc"
