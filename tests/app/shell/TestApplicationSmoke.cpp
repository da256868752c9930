#include "tests/support/PrivateBus.h"
#include "tests/support/ShortTempDir.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

// The real program on a real X server (Xvfb, the xcb platform): its window maps with its title, a
// second launch hands over and ends, and the program ends cleanly with status 0.
class TestApplicationSmoke : public QObject
{
    Q_OBJECT

    ShortTempDir m_dir; // its runtime folder holds the instance socket
    QProcess m_xserver;
    QString m_display;
    std::unique_ptr<PrivateBus> m_bus;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("home/.config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        // A bus of its own without a secret store: no app password can be read, none was ever saved.
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        return environment;
    }

    // Runs an X tool against the server and returns its output.
    QString x(const QString& program, const QStringList& arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(program, arguments);
        if (!tool.waitForFinished(30000)) {
            tool.kill();
            tool.waitForFinished();
            return {};
        }
        return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("home/.config")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("runtime")));
        QVERIFY(QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());

        // The server picks a free display and writes its number when it accepts clients.
        m_xserver.setProgram(QStringLiteral("Xvfb"));
        m_xserver.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                QStringLiteral("1280x800x24")});
        m_xserver.setStandardErrorFile(QProcess::nullDevice());
        m_xserver.start();
        QVERIFY2(m_xserver.waitForStarted(10000), "Xvfb is missing: run scripts/install-deps.sh");
        while (!m_xserver.canReadLine()) {
            QVERIFY(m_xserver.waitForReadyRead(30000));
        }
        m_display = QLatin1Char(':') + QString::fromLatin1(m_xserver.readLine()).trimmed();
        QVERIFY(m_display.size() > 1);
    }

    void cleanupTestCase()
    {
        m_xserver.terminate();
        if (!m_xserver.waitForFinished(5000)) {
            m_xserver.kill();
            m_xserver.waitForFinished();
        }
    }

    void startAndEnd_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("close button") << QStringLiteral("close");
        QTest::newRow("SIGTERM") << QStringLiteral("terminate");
    }

    void startAndEnd()
    {
        QFETCH(QString, end);
        QProcess app;
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(TARN_APP_BINARY), QStringList());
        QVERIFY(app.waitForStarted(10000));

        const QString window = x(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--name"), QStringLiteral("^Tarn-Backup-Manager$")})
                                   .section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(!window.isEmpty(), "no window of the application mapped");
        const QString info = x(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        QVERIFY2(info.contains(QStringLiteral("Map State: IsViewable")), qPrintable(info));
        QVERIFY2(info.contains(QStringLiteral("Width: 902")) && info.contains(QStringLiteral("Height: 570")),
                 qPrintable(info));
        const QString name =
            x(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_NAME")});
        QVERIFY2(name.contains(QStringLiteral("\"Tarn-Backup-Manager\"")), qPrintable(name));

        // A second launch hands over to this one and ends at once.
        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(TARN_APP_BINARY), QStringList());
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(app.state(), QProcess::Running);

        if (end == QLatin1String("close")) {
            // The close button of the window's own title row; closing the last window quits.
            x(QStringLiteral("xdotool"),
              {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("20"),
               QStringLiteral("15"), QStringLiteral("click"), QStringLiteral("1")});
        } else {
            app.terminate();
        }
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }
};

TARN_TEST_MAIN(TestApplicationSmoke)
#include "TestApplicationSmoke.moc"
