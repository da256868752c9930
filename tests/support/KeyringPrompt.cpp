#include "tests/support/KeyringPrompt.h"

#include <QTest>

namespace {
// The title gcr-prompter gives the unlock prompt of a keyring, as "Unlock Login Keyring".
const QString titlePattern = QStringLiteral("^Unlock .* Keyring$");
} // namespace

QStringList KeyringPrompt::windows() const
{
    const auto found = m_display.run(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), titlePattern});
    return found ? found->split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
}

int KeyringPrompt::count() const
{
    return int(windows().size());
}

bool KeyringPrompt::waitForWindow(int timeoutMs) const
{
    return QTest::qWaitFor([this] { return !windows().isEmpty(); }, timeoutMs);
}

bool KeyringPrompt::waitUntilGone(int timeoutMs) const
{
    return QTest::qWaitFor([this] { return windows().isEmpty(); }, timeoutMs);
}

bool KeyringPrompt::press(const QStringList& input) const
{
    const QStringList shown = windows();
    if (shown.isEmpty()) {
        return false;
    }
    // No window manager runs: the input focus is set directly, and the keys go through the XTEST
    // extension like real ones (the prompt ignores keys sent to a window).
    const QString xdotool = QStringLiteral("xdotool");
    return m_display.run(xdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), shown.constFirst()}) &&
        m_display.run(xdotool, input);
}

bool KeyringPrompt::answer(const QByteArray& password) const
{
    return press({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                  QString::fromUtf8(password)}) &&
        m_display.run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
}

bool KeyringPrompt::dismiss() const
{
    return press({QStringLiteral("key"), QStringLiteral("Escape")});
}

bool startPromptingKeyring(std::unique_ptr<PrivateDisplay>& display, std::unique_ptr<PrivateKeyring>& keyring,
                           std::unique_ptr<KeyringPrompt>& prompt)
{
    display = std::make_unique<PrivateDisplay>();
    if (!display->isRunning())
        return false;
    keyring = std::make_unique<PrivateKeyring>(display->name());
    if (!keyring->isRunning())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", keyring->busAddress().toUtf8());
    prompt = std::make_unique<KeyringPrompt>(*display);
    return true;
}
