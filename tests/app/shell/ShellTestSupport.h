#pragma once

#include "app/common/AppPassword.h"
#include "app/common/ShellTimings.h"
#include "app/shell/AppDelegate.h"
#include "core/credentials/AppPasswordMarker.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "kit/inputs/SecureInputView.h"
#include "kit/theme/Motion.h"
#include "tests/support/PrivateKeyring.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

// Helpers of the shell and login tests: a keyring of the test's own (the app password's item has a
// fixed name, so tests that run side by side must not share one), short delays, and a launch.
namespace ShellTestSupport {

// A private keyring that every credential-store call of this process uses from now on.
inline std::unique_ptr<PrivateKeyring> startKeyring()
{
    auto keyring = std::make_unique<PrivateKeyring>();
    if (keyring->isRunning()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", keyring->busAddress().toUtf8());
    }
    return keyring;
}

// The delays of the screens, a few milliseconds each; animations jump to their end.
inline void shortenTimings()
{
    ShellTimings::styleAnimationMs = 1;
    ShellTimings::shakeStepMs = 5;
    ShellTimings::slideMs = 20;
    ShellTimings::mainRestyleDelayMs = 20;
    ShellTimings::loginRestyleDelayMs = 10;
    ShellTimings::loginLoadDelayMs = 5;
    ShellTimings::touchIdDelayMs = 10;
    ShellTimings::colourResetMs = 100;
    ShellTimings::warningResetMs = 60000;
    ShellTimings::focusAnimationMs = 1;
    Motion::setDefaultDuration(0);
}

// Stores the app password, or removes it for nothing; the marker follows only when asked.
inline bool storeAppPassword(const std::optional<QString>& password)
{
    const KeychainService keychain(AppPassword::service());
    return password ? bool(keychain.set(*password, AppPassword::key())) : bool(keychain.remove(AppPassword::key()));
}

inline void setTouchIdChoice(bool useTouchID)
{
    KeychainService(AppPassword::service()).setBool(useTouchID, PasswordViewModel::touchIDKey);
}

// A delegate after launch, once the store's answer has decided the first screen.
inline std::unique_ptr<AppDelegate> launch()
{
    auto delegate = std::make_unique<AppDelegate>();
    QSignalSpy decided(delegate.get(), &AppDelegate::launchDecided);
    delegate->applicationDidFinishLaunching();
    if (decided.isEmpty() && !decided.wait(10000)) {
        return nullptr;
    }
    return delegate;
}

// Replaces the field's text with `text`, typed key by key, and presses Return.
inline void typeAndSubmit(SecureInputView* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace ShellTestSupport
