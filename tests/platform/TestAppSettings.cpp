#include "platform/AppSettings.h"
#include "tests/support/TestMain.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

using Key = AppSettings::Key;

class TestAppSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString file(const QString& name) const { return m_dir->filePath(name + QStringLiteral(".conf")); }

    QString fileWithText(const QByteArray& text) const
    {
        const QString path = file(QStringLiteral("given"));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
            return {};
        return path;
    }

    static QByteArray textOf(const QString& path)
    {
        QSettings(path, QSettings::IniFormat).sync();
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void keysAndDefaults_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("defaultValue");
        QTest::newRow("backup folder") << Key::savedPath << "savedPathKey" << QVariant(QString());
        QTest::newRow("icon colour") << Key::iconColor << "iconColor" << QVariant();
        QTest::newRow("app password note") << Key::hasAppPassword << "hasAppPassword" << QVariant(false);
        QTest::newRow("update checks") << Key::automaticallyChecksForUpdates << "automaticallyChecksForUpdates"
                                       << QVariant(true);
        QTest::newRow("update downloads")
            << Key::automaticallyDownloadsUpdates << "automaticallyDownloadsUpdates" << QVariant(false);
        QTest::newRow("kept update version")
            << Key::downloadedUpdateVersion << "downloadedUpdate/version" << QVariant(QString());
        QTest::newRow("kept update path")
            << Key::downloadedUpdatePath << "downloadedUpdate/path" << QVariant(QString());
        QTest::newRow("kept update length")
            << Key::downloadedUpdateLength << "downloadedUpdate/length" << QVariant(qint64(0));
        QTest::newRow("auto logout") << Key::isAutoLogoutEnabled << "isAutoLogoutEnabled" << QVariant(false);
        QTest::newRow("logout timeout") << Key::logoutTimeout << "LogoutTimeout" << QVariant(600.0);
    }

    void keysAndDefaults()
    {
        QFETCH(Key, key);
        QFETCH(QString, name);
        QFETCH(QVariant, defaultValue);
        QCOMPARE(AppSettings::name(key), name);
        QCOMPARE(AppSettings::keyNamed(name), std::optional(key));
        QCOMPARE(AppSettings::defaultValue(key), defaultValue);

        const AppSettings settings(file(QStringLiteral("empty")));
        QVERIFY(!settings.contains(key));
        QCOMPARE(settings.value(key), defaultValue);
    }

    void typedDefaults()
    {
        const AppSettings settings(file(QStringLiteral("empty")));
        QCOMPARE(settings.savedPath(), QString());
        QCOMPARE(settings.iconColorHex(), std::nullopt);
        QCOMPARE(settings.hasAppPassword(), false);
        QCOMPARE(settings.automaticallyChecksForUpdates(), true);
        QCOMPARE(settings.automaticallyDownloadsUpdates(), false);
        const AppSettings::DownloadedUpdate kept = settings.downloadedUpdate();
        QCOMPARE(kept.version, QString());
        QCOMPARE(kept.path, QString());
        QCOMPARE(kept.length, 0);
        QCOMPARE(AppSettings::keyNamed(QStringLiteral("testPreference")), std::nullopt);
    }

    // A file as earlier versions of the app wrote it reads back through the typed accessors.
    void readsAnExistingFile()
    {
        const QString path = fileWithText("[General]\n"
                                          "savedPathKey=/home/nutzer/Sicherungen mit Leerzeichen\n"
                                          "iconColor=FF9500\n"
                                          "hasAppPassword=true\n"
                                          "automaticallyChecksForUpdates=false\n"
                                          "automaticallyDownloadsUpdates=true\n"
                                          "isAutoLogoutEnabled=true\n"
                                          "LogoutTimeout=1800\n"
                                          "\n"
                                          "[downloadedUpdate]\n"
                                          "version=2.1.0\n"
                                          "path=/tmp/update.AppImage\n"
                                          "length=123456789012\n");
        QVERIFY(!path.isEmpty());
        const AppSettings settings(path);
        QCOMPARE(settings.savedPath(), QStringLiteral("/home/nutzer/Sicherungen mit Leerzeichen"));
        QCOMPARE(settings.iconColorHex(), std::optional(QStringLiteral("FF9500")));
        QCOMPARE(settings.hasAppPassword(), true);
        QCOMPARE(settings.automaticallyChecksForUpdates(), false);
        QCOMPARE(settings.automaticallyDownloadsUpdates(), true);
        QCOMPARE(settings.value(Key::isAutoLogoutEnabled).toBool(), true);
        QCOMPARE(settings.value(Key::logoutTimeout).toDouble(), 1800.0);
        const AppSettings::DownloadedUpdate kept = settings.downloadedUpdate();
        QCOMPARE(kept.version, QStringLiteral("2.1.0"));
        QCOMPARE(kept.path, QStringLiteral("/tmp/update.AppImage"));
        QCOMPARE(kept.length, Q_INT64_C(123456789012));
    }

    // The accessors write the very file that plain QSettings writes under the same keys.
    void writesTheFormatOfExistingFiles()
    {
        const QString plainPath = file(QStringLiteral("plain"));
        {
            QSettings plain(plainPath, QSettings::IniFormat);
            plain.setValue(QStringLiteral("savedPathKey"), QStringLiteral("/media/Sicherung/Ä ß"));
            plain.setValue(QStringLiteral("hasAppPassword"), true);
            plain.setValue(QStringLiteral("automaticallyChecksForUpdates"), false);
            plain.setValue(QStringLiteral("automaticallyDownloadsUpdates"), true);
            plain.setValue(QStringLiteral("downloadedUpdate/version"), QStringLiteral("3.0"));
            plain.setValue(QStringLiteral("downloadedUpdate/path"), QStringLiteral("/tmp/neu"));
            plain.setValue(QStringLiteral("downloadedUpdate/length"), qint64(4096));
            plain.setValue(QStringLiteral("LogoutTimeout"), 300.0);
        }
        const QString ownPath = file(QStringLiteral("own"));
        {
            AppSettings own(ownPath);
            own.setSavedPath(QStringLiteral("/media/Sicherung/Ä ß"));
            own.setHasAppPassword(true);
            own.setAutomaticallyChecksForUpdates(false);
            own.setAutomaticallyDownloadsUpdates(true);
            own.setDownloadedUpdate({QStringLiteral("3.0"), QStringLiteral("/tmp/neu"), 4096});
            own.setValue(Key::logoutTimeout, 300.0);
        }
        const QByteArray expected = textOf(plainPath);
        QVERIFY(expected.contains("savedPathKey="));
        QCOMPARE(textOf(ownPath), expected);

        // A note of no app password and a forgotten download leave no key behind.
        AppSettings own(ownPath);
        own.setHasAppPassword(false);
        own.forgetDownloadedUpdate();
        const QByteArray left = textOf(ownPath);
        QVERIFY(!left.contains("hasAppPassword"));
        QVERIFY(!left.contains("downloadedUpdate"));
        QVERIFY(left.contains("savedPathKey="));
    }

    void iconColorIsTextOnly_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("absent") << QVariant() << std::optional<QString>();
        QTest::newRow("text") << QVariant(QStringLiteral("00FF00")) << std::optional(QStringLiteral("00FF00"));
        QTest::newRow("empty text") << QVariant(QString()) << std::optional(QString());
        QTest::newRow("number") << QVariant(42) << std::optional<QString>();
        QTest::newRow("list") << QVariant(QStringList{QStringLiteral("00FF00")}) << std::optional<QString>();
    }

    void iconColorIsTextOnly()
    {
        QFETCH(QVariant, stored);
        QFETCH(std::optional<QString>, expected);
        const QString path = file(QStringLiteral("colour"));
        QSettings plain(path, QSettings::IniFormat);
        if (stored.isValid())
            plain.setValue(QStringLiteral("iconColor"), stored);
        QCOMPARE(AppSettings(path).iconColorHex(), expected);
    }

    // changed names the key, and comes only when the stored value changes, also where the file
    // holds the value as text.
    void changedOnlyOnChange_data()
    {
        QTest::addColumn<QByteArray>("fileText");
        QTest::addColumn<Key>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("emitted");
        QTest::newRow("first value") << QByteArray() << Key::savedPath << QVariant(QStringLiteral("/a")) << true;
        QTest::newRow("same text") << QByteArray("[General]\nsavedPathKey=/a\n") << Key::savedPath
                                   << QVariant(QStringLiteral("/a")) << false;
        QTest::newRow("other text") << QByteArray("[General]\nsavedPathKey=/a\n") << Key::savedPath
                                    << QVariant(QStringLiteral("/b")) << true;
        QTest::newRow("same bool, as text in the file")
            << QByteArray("[General]\nautomaticallyChecksForUpdates=true\n") << Key::automaticallyChecksForUpdates
            << QVariant(true) << false;
        QTest::newRow("other bool") << QByteArray("[General]\nautomaticallyChecksForUpdates=true\n")
                                    << Key::automaticallyChecksForUpdates << QVariant(false) << true;
        QTest::newRow("default written") << QByteArray() << Key::automaticallyChecksForUpdates << QVariant(true)
                                         << true;
        QTest::newRow("same number, as text in the file")
            << QByteArray("[General]\nLogoutTimeout=600\n") << Key::logoutTimeout << QVariant(600.0) << false;
        QTest::newRow("other number") << QByteArray("[General]\nLogoutTimeout=600\n") << Key::logoutTimeout
                                      << QVariant(60.0) << true;
    }

    void changedOnlyOnChange()
    {
        QFETCH(QByteArray, fileText);
        QFETCH(Key, key);
        QFETCH(QVariant, value);
        QFETCH(bool, emitted);
        const QString path = fileWithText(fileText);
        QVERIFY(!path.isEmpty());
        AppSettings settings(path);
        QSignalSpy spy(&settings, &AppSettings::changed);
        settings.setValue(key, value);
        QCOMPARE(settings.value(key).toString(), value.toString());
        QCOMPARE(spy.count(), emitted ? 1 : 0);
        if (emitted)
            QCOMPARE(spy.at(0).at(0).value<Key>(), key);
        settings.setValue(key, value);
        QCOMPARE(spy.count(), emitted ? 1 : 0);
    }

    void removalSignalsStoredKeysOnly()
    {
        AppSettings settings(file(QStringLiteral("removal")));
        QSignalSpy spy(&settings, &AppSettings::changed);
        settings.setHasAppPassword(false);
        settings.forgetDownloadedUpdate();
        QCOMPARE(spy.count(), 0);

        settings.setHasAppPassword(true);
        settings.setDownloadedUpdate({QStringLiteral("1.2"), QStringLiteral("/tmp/u"), 7});
        QCOMPARE(spy.count(), 4);
        spy.clear();
        settings.setHasAppPassword(false);
        QVERIFY(!settings.contains(Key::hasAppPassword));
        settings.forgetDownloadedUpdate();
        QCOMPARE(spy.count(), 4);
        QCOMPARE(spy.at(0).at(0).value<Key>(), Key::hasAppPassword);
        QCOMPARE(spy.at(3).at(0).value<Key>(), Key::downloadedUpdateLength);
    }

    // Properties that name their own key store under it; only keys of the table signal.
    void storeByName()
    {
        AppSettings settings(file(QStringLiteral("byName")));
        QSignalSpy spy(&settings, &AppSettings::changed);
        settings.store(QStringLiteral("testPreference"), 5.0);
        QCOMPARE(settings.stored(QStringLiteral("testPreference")), QVariant(5.0));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!settings.stored(QStringLiteral("absent")).isValid());

        settings.store(QStringLiteral("isAutoLogoutEnabled"), true);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Key>(), Key::isAutoLogoutEnabled);
        QCOMPARE(settings.value(Key::isAutoLogoutEnabled).toBool(), true);
    }

    // The app's instance is the app's domain (here the test's private HOME), and sees what any
    // QSettings of it writes.
    void instanceIsTheAppDomain()
    {
        AppSettings& app = AppSettings::instance();
        QCOMPARE(app.fileName(), QSettings().fileName());
        QVERIFY(app.fileName().startsWith(QDir::homePath()) ||
                app.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QSettings().setValue(QStringLiteral("savedPathKey"), QStringLiteral("/x"));
        QCOMPARE(app.savedPath(), QStringLiteral("/x"));
        QSignalSpy spy(&app, &AppSettings::changed);
        app.setSavedPath(QStringLiteral("/y"));
        QCOMPARE(QSettings().value(QStringLiteral("savedPathKey")).toString(), QStringLiteral("/y"));
        QCOMPARE(spy.count(), 1);
        QSettings().remove(QStringLiteral("savedPathKey"));
    }
};

TARN_TEST_MAIN(TestAppSettings)
#include "TestAppSettings.moc"
