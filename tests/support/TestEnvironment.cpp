#include "tests/support/TestEnvironment.h"

#include "tests/support/PrivateKeyring.h"

#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void giveUp(const char* what)
{
    std::fprintf(stderr, "test environment: %s\n", what);
    std::abort();
}

} // namespace

// Right under /tmp, whatever TMPDIR says, so that socket paths stay short and users other than the
// test's own can be let in where a test needs them.
TestEnvironment::TestEnvironment()
    : m_dir(QStringLiteral("/tmp/tarn-test-XXXXXX"))
{
    if (!m_dir.isValid())
        giveUp("cannot create the test home folder");
    const QString base = m_dir.path();
    const struct
    {
        const char* var;
        const char* sub;
    } dirs[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"XDG_STATE_HOME", "home/.local/state"},
        {"XDG_RUNTIME_DIR", "runtime"},
    };
    for (const auto& d : dirs) {
        const QString path = base + QLatin1Char('/') + QLatin1String(d.sub);
        QDir().mkpath(path);
        qputenv(d.var, QFile::encodeName(path));
    }
    if (!QFile::setPermissions(base + QStringLiteral("/runtime"),
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        giveUp("cannot make the runtime folder private");

    // Until startPrivateSession(), nothing can reach the user's bus, keyring or screen.
    for (const char* var : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
        qunsetenv(var);
    qputenv("LC_ALL", "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TARN_TEST_SCREEN_CONFIG);
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "tarn.diagnostics.debug=true");
}

TestEnvironment::~TestEnvironment() = default;

QString TestEnvironment::home() const
{
    return m_dir.path() + QStringLiteral("/home");
}

void TestEnvironment::startPrivateSession()
{
    m_keyring = std::make_unique<PrivateKeyring>();
    if (!m_keyring->isRunning())
        giveUp("cannot start a private keyring (dbus-daemon and gnome-keyring-daemon are needed)");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyring->busAddress().toUtf8());
}

void TestEnvironment::endPrivateSession()
{
    m_keyring.reset();
}
