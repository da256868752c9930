#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

TestEnvironment::TestEnvironment()
    : m_dir(QDir::tempPath() + QStringLiteral("/tarn-test-XXXXXX"))
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "cannot create the test home folder\n");
        std::abort();
    }
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
    };
    for (const auto& d : dirs) {
        const QString path = base + QLatin1Char('/') + QLatin1String(d.sub);
        QDir().mkpath(path);
        qputenv(d.var, QFile::encodeName(path));
    }
}

TestEnvironment::~TestEnvironment() = default;

QString TestEnvironment::home() const
{
    return m_dir.path() + QStringLiteral("/home");
}
