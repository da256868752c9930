#include "tests/support/PrivateBus.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/RefusingService.h"
#include "tests/support/SilentService.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// Each way the secret store can fail, met for real in a process of its own (the probe), and the
// text the user reads for it: German, saying what to do, short enough for the one-line warnings of
// the login and the restore screen; only for a refusal the store did not explain further does the
// system's own description follow.
class TestSecretStoreFailures : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;
    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<PrivateKeyring> m_keyring;
    SilentService m_silent;
    RefusingService m_refusing;

    static QProcessEnvironment baseEnvironment()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return environment;
    }

    static QProcessEnvironment onBus(const QString& address)
    {
        QProcessEnvironment environment = baseEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        return environment;
    }

    // Puts raw bytes into the probe's item, as another program could have done.
    static bool storeRaw(const QProcessEnvironment& environment, const QByteArray& bytes)
    {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("store"), QStringLiteral("--label=probe"), QStringLiteral("service"),
                    QStringLiteral("test.Probe"), QStringLiteral("account"), QStringLiteral("key")});
        if (!tool.waitForStarted()) {
            return false;
        }
        tool.write(bytes);
        tool.closeWriteChannel();
        return tool.waitForFinished() && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    // The environment of one kind of failure, with whatever it needs started.
    std::optional<QProcessEnvironment> environmentFor(const QString& setup)
    {
        if (setup == QLatin1String("no bus")) {
            // With a display set, the bus library would try to launch a bus.
            QProcessEnvironment environment = baseEnvironment();
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
            environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
            return environment;
        }
        if (setup == QLatin1String("locked") || setup == QLatin1String("raw")) {
            m_keyring = std::make_unique<PrivateKeyring>();
            if (!m_keyring->isRunning()) {
                return std::nullopt;
            }
            const QProcessEnvironment environment = onBus(m_keyring->busAddress());
            const bool locked = setup == QLatin1String("locked");
            if (!storeRaw(environment, locked ? QByteArray("Geheim1") : QByteArray("\xff\xfe", 2)) ||
                (locked && !m_keyring->lock())) {
                return std::nullopt;
            }
            return environment;
        }
        m_bus = std::make_unique<PrivateBus>();
        if (!m_bus->isRunning()) {
            return std::nullopt;
        }
        const QString secrets = QStringLiteral("org.freedesktop.secrets");
        if ((setup == QLatin1String("silent") && !m_silent.serve(m_bus->address(), setup, secrets)) ||
            (setup == QLatin1String("refusing") && !m_refusing.serve(m_bus->address(), setup, secrets))) {
            return std::nullopt;
        }
        return onBus(m_bus->address());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_runtime.isValid()); }

    void cleanup()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("silent"));
        QDBusConnection::disconnectFromBus(QStringLiteral("refusing"));
        m_keyring.reset();
        m_bus.reset();
    }

    void failureText_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("no session bus") << "no bus"
                                        << "lookup"
                                        << "noSessionBus"
                                        << "Keine Desktop-Sitzung gefunden. Starte die App im Desktop neu.";
        QTest::newRow("no Secret Service on the bus")
            << "no service"
            << "lookup"
            << "noService"
            << "Kein Schlüsselbund-Dienst. Starte GNOME Keyring oder KWallet.";
        QTest::newRow("keyring locked, no prompt possible")
            << "locked"
            << "lookup"
            << "locked"
            << "Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.";
        QTest::newRow("change in a locked keyring")
            << "locked"
            << "store"
            << "locked"
            << "Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.";
        QTest::newRow("store does not answer") << "silent"
                                               << "lookup"
                                               << "timedOut"
                                               << "Der Schlüsselbund antwortet nicht. Versuche es gleich erneut.";
        QTest::newRow("change does not answer") << "silent"
                                                << "store"
                                                << "outcomeUnknown"
                                                << "Keine Antwort vom Schlüsselbund. Prüfe, ob gespeichert wurde.";
        QTest::newRow("stored bytes are no text") << "raw"
                                                  << "lookup"
                                                  << "notText"
                                                  << "Der Eintrag ist kein Text. Speichere das Passwort neu.";
        QTest::newRow("store refuses")
            << "refusing"
            << "clear"
            << "failed"
            << "Der Schlüsselbund hat abgelehnt. Versuche es erneut. Meldung des Systems: Access to the secrets is "
               "denied.";
    }

    void failureText()
    {
        QFETCH(QString, setup);
        QFETCH(QString, call);
        QFETCH(QString, code);
        QFETCH(QString, text);
        const auto environment = environmentFor(setup);
        QVERIFY(environment);

        QProcess probe;
        probe.setProcessEnvironment(*environment);
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(TARN_SECRET_STORE_PROBE), {call, QStringLiteral("300")});
        // The event loop runs meanwhile: the services of this process answer from it.
        QVERIFY(QTest::qWaitFor([&probe] { return probe.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(probe.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
        QVERIFY(lines.size() >= 2);
        QCOMPARE(lines.at(0), code);
        QCOMPARE(lines.at(1), text);
    }
};

TARN_TEST_MAIN(TestSecretStoreFailures)
#include "TestSecretStoreFailures.moc"
