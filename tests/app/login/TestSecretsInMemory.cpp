#include "app/common/AppPassword.h"
#include "core/credentials/ModelType.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/MemoryScan.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QRandomGenerator>

using namespace ShellTestSupport;

// The passwords are nowhere in the application's memory once their work is done: after a backup,
// after the settings sheet and its window, after a login and the lock. The application runs in a
// child process of its own (the probe), and the test reads that process's memory; the probe gets the
// passwords only masked, or through the keyring.
class TestSecretsInMemory : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

    // A fresh password of letters and digits, long enough that its freed buffers are rarely reused at once.
    static QByteArray newPassword(int length = 90)
    {
        const QByteArray alphabet = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
        QByteArray password;
        for (int i = 0; i < length; ++i) {
            password.append(alphabet.at(QRandomGenerator::global()->bounded(int(alphabet.size()))));
        }
        return password;
    }

    static QByteArray utf16(const QByteArray& ascii)
    {
        QByteArray units;
        for (const char byte : ascii) {
            units.append(byte).append('\0');
        }
        return units;
    }

    // Stores the text with secret-tool, so that the probe reads it only from the keyring.
    static bool storeWithTool(const QString& service, const QString& key, const QByteArray& text)
    {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("store"), QStringLiteral("--label=test"), QStringLiteral("service"), service,
                    QStringLiteral("account"), key});
        if (!tool.waitForStarted()) {
            return false;
        }
        tool.write(text);
        tool.closeWriteChannel();
        return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    static QByteArray lookupWithTool(const QString& service, const QString& key)
    {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("lookup"), QStringLiteral("service"), service, QStringLiteral("account"), key});
        tool.waitForFinished(20000);
        return tool.readAllStandardOutput();
    }

    static bool clearWithTool(const QString& service, const QString& key)
    {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("clear"), QStringLiteral("service"), service, QStringLiteral("account"), key});
        // Nothing to clear is a failure to the tool, and fine here.
        return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
    }

    void cleanupTestCase() { m_keyring.reset(); }

    void passwordsAreWipedAfterUse_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("appPassword");
        QTest::addColumn<bool>("storedFirst");
        QTest::addColumn<bool>("saved");
        QTest::newRow("archive password, after a backup") << QStringLiteral("backup") << false << true << false;
        QTest::newRow("archive password, after a backup and its restore")
            << QStringLiteral("restore") << false << true << false;
        QTest::newRow("archive password typed in the settings, saved")
            << QStringLiteral("settings archive type save") << false << false << true;
        QTest::newRow("archive password pasted over a stored one, saved")
            << QStringLiteral("settings archive paste save") << false << true << true;
        QTest::newRow("archive password pasted, window closed unsaved")
            << QStringLiteral("settings archive paste close") << false << false << false;
        QTest::newRow("app password pasted in the settings, saved")
            << QStringLiteral("settings app paste save") << true << false << true;
        QTest::newRow("app password typed in the settings, window closed unsaved")
            << QStringLiteral("settings app type close") << true << false << false;
        QTest::newRow("app password pasted in the settings, window closed unsaved")
            << QStringLiteral("settings app paste close") << true << false << false;
        QTest::newRow("app password pasted with 9,900 more characters, saved cut")
            << QStringLiteral("settings app pastelong save") << true << false << true;
        QTest::newRow("app password typed at the login, after the lock")
            << QStringLiteral("login type") << true << true << false;
        QTest::newRow("app password typed at the login with a correction, after the lock")
            << QStringLiteral("login typefix") << true << true << false;
        QTest::newRow("archive password typed with a correction in the settings, saved")
            << QStringLiteral("settings archive typefix save") << false << false << true;
    }

    void passwordsAreWipedAfterUse()
    {
        QFETCH(QString, command);
        QFETCH(bool, appPassword);
        QFETCH(bool, storedFirst);
        QFETCH(bool, saved);
        const QString service = serviceName(appPassword ? ModelType::masterPassword : ModelType::zipPassword);
        const QString key = rawValue(appPassword ? ModelType::masterPassword : ModelType::zipPassword);
        // A long paste is cut to 100 characters: the password is those.
        const QByteArray password = newPassword(command.contains(QStringLiteral("pastelong")) ? 100 : 90);
        QVERIFY(clearWithTool(service, key));
        if (storedFirst) {
            // The backup and the login read it; the paste over it is asked about first.
            QVERIFY(storeWithTool(service, key,
                                  !command.startsWith(QStringLiteral("settings")) ? password : newPassword()));
        }

        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(TARN_SECRET_MEMORY_PROBE), {});
        QVERIFY(probe.waitForStarted());
        QByteArray line = command.toUtf8();
        if (command != QStringLiteral("backup") && command != QStringLiteral("restore")) {
            line += ' ' + MemoryScan::masked(password).toHex();
        }
        probe.write(line + '\n');
        // The memory at each checkpoint of the command and once it is done.
        QStringList found;
        for (;;) {
            while (!probe.canReadLine()) {
                QVERIFY2(probe.waitForReadyRead(60000), "the probe did not answer");
            }
            const QByteArray answer = probe.readLine().trimmed();
            const bool last = !answer.startsWith("checkpoint ");
            const int utf8Hits = MemoryScan::countInProcess(probe.processId(), MemoryScan::masked(password));
            const int utf16Hits = MemoryScan::countInProcess(probe.processId(), MemoryScan::masked(utf16(password)));
            if (utf8Hits != 0 || utf16Hits != 0) {
                found << QStringLiteral("%1: %2 in UTF-8, %3 in UTF-16")
                             .arg(QString::fromUtf8(answer))
                             .arg(utf8Hits)
                             .arg(utf16Hits);
            }
            if (last) {
                QCOMPARE(answer, QByteArray("done"));
                break;
            }
            probe.write("next\n");
        }
        if (saved) {
            QCOMPARE(lookupWithTool(service, key), password);
        }
        probe.write("quit\n");
        probe.closeWriteChannel();
        QVERIFY(probe.waitForFinished(20000));
        QVERIFY(clearWithTool(service, key));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("; "))));
    }
};

TARN_TEST_GUI_MAIN(TestSecretsInMemory)
#include "TestSecretsInMemory.moc"
