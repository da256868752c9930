#include "tests/support/FileFixtures.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/ShortTempDir.h"
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QProcess>

namespace {

const QString appService = QStringLiteral("de.Tarn-Backup-Manager.MasterPassword");
const QString archiveService = QStringLiteral("de.Tarn-Backup-Manager.ZipPassword");

} // namespace

// Test executables started straight, as a developer starts them on a desktop where the app is in use:
// in the user's session (a keyring holding the app's own items) and the user's home (settings, Data,
// a backup), without ctest's environment. They pass, and every item and file of the user stays as it was.
class TestLeavesTheUserAlone : public QObject
{
    Q_OBJECT

    ShortTempDir m_dir;
    std::unique_ptr<PrivateKeyring> m_userKeyring;

    QString userHome() const { return m_dir.filePath(QStringLiteral("home")); }

    // The environment of the user's desktop session: their bus and home; no test variables.
    QProcessEnvironment userSession() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "QT_LOGGING_RULES", "LC_ALL", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                 "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_userKeyring->busAddress());
        environment.insert(QStringLiteral("HOME"), userHome());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        return environment;
    }

    int secretTool(const QStringList& arguments, const QByteArray& input = {}, QByteArray* output = nullptr) const
    {
        QProcess tool;
        tool.setProcessEnvironment(userSession());
        tool.start(QStringLiteral("secret-tool"), arguments);
        if (!tool.waitForStarted(5000))
            return -1;
        tool.write(input);
        tool.closeWriteChannel();
        if (!tool.waitForFinished(10000))
            return -1;
        if (output)
            *output = tool.readAllStandardOutput();
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }

    bool storeItem(const QString& service, const QString& account, const QByteArray& secret) const
    {
        return secretTool({QStringLiteral("store"), QStringLiteral("--label=") + service, QStringLiteral("service"),
                           service, QStringLiteral("account"), account},
                          secret) == 0;
    }

    // Every item of the app in the user's keyring, with its secret and its times.
    QByteArray keyringItems() const
    {
        QByteArray all;
        for (const QStringList& query : {QStringList{QStringLiteral("service"), appService},
                                         QStringList{QStringLiteral("service"), archiveService},
                                         QStringList{QStringLiteral("account"), QStringLiteral("useTouchID")}}) {
            QByteArray found;
            if (secretTool(QStringList{QStringLiteral("search"), QStringLiteral("--all")} + query, {}, &found) != 0)
                return "<search failed>";
            all += found;
        }
        return all;
    }

    // Every file and folder of the user's home, with its size, time and content.
    QStringList homeFiles() const
    {
        QStringList files;
        QDirIterator it(userHome(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QString line = info.filePath() + QLatin1Char(' ') + QString::number(info.size()) + QLatin1Char(' ') +
                QString::number(info.lastModified().toMSecsSinceEpoch());
            if (info.isFile()) {
                QFile file(info.filePath());
                line += QLatin1Char(' ') +
                    QString::fromLatin1(file.open(QIODevice::ReadOnly) ? file.readAll().toHex() : QByteArray("?"));
            }
            files << line;
        }
        files.sort();
        return files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_userKeyring = std::make_unique<PrivateKeyring>();
        QVERIFY(m_userKeyring->isRunning());
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("runtime"))));
        QVERIFY(QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        QVERIFY(storeItem(appService, QStringLiteral("masterPassword"), "Nutzer-App-1"));
        QVERIFY(storeItem(archiveService, QStringLiteral("zipPassword"), "Nutzer-Archiv-1"));
        QVERIFY(storeItem(appService, QStringLiteral("useTouchID"), "true"));

        const QString home = userHome();
        QVERIFY(writeFile(home + QStringLiteral("/.config/Tarn/Tarn-Backup-Manager.conf"),
                          "[General]\nsavedPath=" + QFile::encodeName(home) + "/Backups\n"));
        QVERIFY(writeFile(home + QStringLiteral("/Library/Containers/de.orlwen/Data/Akte.txt"), "Inhalt"));
        QVERIFY(writeFile(home + QStringLiteral("/Backups/Backup_2026-01-02_03-04-05.orlwen"), "verschlüsselt"));
    }

    void testsStartedStraight_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("password models") << QStringLiteral(TARN_TEST_PASSWORD_VIEW_MODEL);
        QTest::newRow("credential store") << QStringLiteral(TARN_TEST_KEYCHAIN_SERVICE);
        QTest::newRow("fingerprint setting") << QStringLiteral(TARN_TEST_TOUCH_ID_SETTING);
        QTest::newRow("unreadable archive password") << QStringLiteral(TARN_TEST_UNREADABLE_ARCHIVE_PASSWORD);
    }

    void testsStartedStraight()
    {
        QFETCH(QString, program);
        const QByteArray itemsBefore = keyringItems();
        QVERIFY(itemsBefore.contains("Nutzer-Archiv-1"));
        const QStringList filesBefore = homeFiles();

        QProcess test;
        test.setProcessEnvironment(userSession());
        test.setProcessChannelMode(QProcess::MergedChannels);
        test.start(program, QStringList());
        QVERIFY(test.waitForStarted(10000));
        QVERIFY(test.waitForFinished(240000));
        const QByteArray output = test.readAll();
        QVERIFY2(test.exitStatus() == QProcess::NormalExit && test.exitCode() == 0, output.right(3000).constData());

        QCOMPARE(keyringItems(), itemsBefore);
        QCOMPARE(homeFiles(), filesBefore);
    }

    void cleanupTestCase() { m_userKeyring.reset(); }
};

TARN_TEST_MAIN(TestLeavesTheUserAlone)
#include "TestLeavesTheUserAlone.moc"
