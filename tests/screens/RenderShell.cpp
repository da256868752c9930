#include "tests/screens/ScreenCatalog.h"

#include "app/common/AppPassword.h"
#include "app/common/ShellTimings.h"
#include "app/login/PasswordEntryView.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/WindowContent.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/SecureInputView.h"
#include "platform/fingerprint/FingerprintReader.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/PrivateBus.h"

#include <QTest>

#include <memory>

namespace {

const QString renderPassword = QStringLiteral("Render-Passwort1");

// The window of a fresh launch, once the login screen (or the main screen) has settled.
std::unique_ptr<AppDelegate> launch(bool touchId)
{
    const KeychainService keychain(AppPassword::service());
    (void)keychain.set(renderPassword, AppPassword::key());
    keychain.setBool(touchId, PasswordViewModel::touchIDKey);

    auto delegate = std::make_unique<AppDelegate>();
    delegate->setIsTouchIdOnAppear(false);
    delegate->applicationDidFinishLaunching();
    ScreenCatalog::settle(1500);
    return delegate;
}

} // namespace

TARN_SCREENS(shell)
{
    // The red marks of a wrong entry stay for the picture.
    ShellTimings::colourResetMs = 60000;

    {
        const auto delegate = launch(false);
        ScreenCatalog::save(delegate->mainWindow(), QStringLiteral("shell-locked"));
    }
    {
        const auto delegate = launch(true);
        ScreenCatalog::save(delegate->mainWindow(), QStringLiteral("shell-locked-fingerprint"));
    }
    {
        // A fingerprint check that waits for a finger, on a reader of a private bus.
        PrivateBus bus;
        FakeFprintd fprintd(bus.address());
        FakeFprintd::Config config;
        config.verifyResults = {};
        fprintd.setConfig(config);
        FingerprintReader::setDefaultConnection(
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("render-fingerprint")));
        {
            const auto delegate = launch(true);
            delegate->windowContent()->passwordEntryView()->touchIdButton()->trigger();
            ScreenCatalog::settle(500);
            ScreenCatalog::save(delegate->mainWindow(), QStringLiteral("shell-locked-fingerprint-check"));
        }
        FingerprintReader::setDefaultConnection(QDBusConnection(QStringLiteral("none")));
        QDBusConnection::disconnectFromBus(QStringLiteral("render-fingerprint"));
    }
    {
        const auto delegate = launch(false);
        PasswordEntryView* login = delegate->windowContent()->passwordEntryView();
        QTest::keyClicks(login->passwordField(), QStringLiteral("falsch"));
        QTest::keyClick(login->passwordField(), Qt::Key_Return);
        ScreenCatalog::settle(800);
        ScreenCatalog::save(delegate->mainWindow(), QStringLiteral("shell-locked-warning"));
    }
    {
        // The line the login shows when the keyring stayed locked.
        const auto delegate = launch(false);
        PasswordEntryView* login = delegate->windowContent()->passwordEntryView();
        login->showWarning(AppPassword::failureText({SecretStoreError::locked, {}}));
        ScreenCatalog::settle(800);
        ScreenCatalog::save(delegate->mainWindow(), QStringLiteral("shell-locked-keyring"));
    }
    {
        const auto delegate = launch(false);
        PasswordEntryView* login = delegate->windowContent()->passwordEntryView();
        QTest::keyClicks(login->passwordField(), renderPassword);
        QTest::keyClick(login->passwordField(), Qt::Key_Return);
        ScreenCatalog::settle(2500);
        ScreenCatalog::save(delegate->mainWindow(), QStringLiteral("shell-unlocked"));
    }

    const KeychainService keychain(AppPassword::service());
    (void)keychain.remove(AppPassword::key());
    keychain.setBool(false, PasswordViewModel::touchIDKey);
}
