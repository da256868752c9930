#include "app/login/PasswordEntryView.h"
#include "app/settings/SettingsContent.h"
#include "app/settings/SettingsView.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/TarnBackupManagerApp.h"
#include "app/shell/ToolbarItem.h"
#include "app/shell/WindowContent.h"
#include "app/shell/WindowToolbar.h"
#include "core/lock/InactivityMonitor.h"
#include "kit/inputs/SecureInputView.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/KeyringPrompt.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/TestMain.h"

#include <QApplication>

using namespace ShellTestSupport;

// The application against a real gnome-keyring whose login collection is locked, with the
// keyring's real prompt on a private X server (the application's own windows stay offscreen).
// The prompt comes at launch and whenever the login needs the app password; the user answers it
// or dismisses it, and meanwhile the application keeps running: it paints, its lock item and its
// automatic logout work.
class TestKeyringPromptLogin : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateDisplay> m_display;
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<KeyringPrompt> m_prompt;
    std::unique_ptr<TarnBackupManagerApp> m_app;
    const QString m_password = QStringLiteral("Geheim1!");
    const std::optional<QString> m_lockedText =
        QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.");

    AppDelegate* delegate() const { return m_app->appDelegate(); }
    WindowContent* content() const { return delegate()->windowContent(); }
    PasswordEntryView* login() const { return content()->passwordEntryView(); }

    void enter(const QString& text) const { typeAndSubmit(login()->passwordField(), text); }

    // The window still handles events and paints while the store waits for the prompt.
    bool keepsPainting() const
    {
        QWidget* window = delegate()->mainWindow();
        struct Counter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                paints += event->type() == QEvent::Paint ? 1 : 0;
                return false;
            }
        } counter;
        QWidget* painted = content();
        painted->installEventFilter(&counter);
        painted->update();
        const bool painting = QTest::qWaitFor([&counter] { return counter.paints > 0; }, 5000);
        painted->removeEventFilter(&counter);
        return window->isVisible() && painting;
    }

    // Launches with the app password stored and the keyring unlocked, and logs in.
    bool loggedIn()
    {
        m_app = std::make_unique<TarnBackupManagerApp>();
        QSignalSpy decided(delegate(), &AppDelegate::launchDecided);
        delegate()->applicationDidFinishLaunching();
        if (!decided.wait(10000) || delegate()->isAuthenticated() || !QTest::qWaitFor([this] {
                return login() && login()->storedPassword() == PasswordEntryView::StoredPassword::present;
            })) {
            return false;
        }
        QSignalSpy lockItem(delegate(), &AppDelegate::lockButtonUpdated);
        enter(m_password);
        // The unlocked look reads the app password once more, for the lock item.
        return QTest::qWaitFor([this] { return delegate()->isAuthenticated(); }) && lockItem.wait(10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startPromptingKeyring(m_display, m_keyring, m_prompt));
        shortenTimings();
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        QVERIFY(m_keyring->unlock());
        QVERIFY(storeAppPassword(m_password));
        // Never noted here: the stored item alone must keep the application locked.
        AppPasswordMarker::set(false);
    }

    void cleanup()
    {
        m_app.reset();
        QVERIFY(m_prompt->waitUntilGone());
    }

    void cleanupTestCase()
    {
        m_prompt.reset();
        m_keyring.reset();
        m_display.reset();
    }

    void lockedAtLaunch_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("unlocked in the prompt") << true;
        QTest::newRow("prompt dismissed") << false;
    }

    void lockedAtLaunch()
    {
        QFETCH(bool, answered);
        QVERIFY(m_keyring->lock());
        m_app = std::make_unique<TarnBackupManagerApp>();
        QSignalSpy decided(delegate(), &AppDelegate::launchDecided);
        delegate()->applicationDidFinishLaunching();

        // The keyring asks; the application waits for the answer without blocking.
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(keepsPainting());
        QVERIFY(decided.isEmpty());

        QVERIFY(answered ? m_prompt->answer(PrivateKeyring::password()) : m_prompt->dismiss());
        QVERIFY(decided.wait(20000));
        // Either way an app password is stored: the login screen comes.
        QVERIFY(!delegate()->isAuthenticated());
        QCOMPARE(content()->branch(), WindowContent::Branch::login);
        QTRY_VERIFY(login()->storedPassword() != PasswordEntryView::StoredPassword::unknown);
        // The login screen's own read asks no second time.
        QCOMPARE(m_prompt->count(), 0);

        if (answered) {
            QCOMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::present);
            QCOMPARE(content()->warningText(), std::nullopt);
            enter(m_password);
            QTRY_VERIFY(delegate()->isAuthenticated());
            return;
        }
        // It says what to do; the user types the password, and Return asks the keyring again.
        QCOMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::failed);
        QCOMPARE(content()->warningText(), m_lockedText);
        enter(m_password);
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(!delegate()->isAuthenticated());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_VERIFY_WITH_TIMEOUT(delegate()->isAuthenticated(), 20000);
        QVERIFY(!m_keyring->isLocked());
    }

    // Return after a dismissed prompt asks again; a wrong entry after the unlock is refused.
    void dismissedTwiceThenWrongPassword()
    {
        QVERIFY(m_keyring->lock());
        m_app = std::make_unique<TarnBackupManagerApp>();
        QSignalSpy decided(delegate(), &AppDelegate::launchDecided);
        delegate()->applicationDidFinishLaunching();
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->dismiss());
        QVERIFY(decided.wait(20000));
        QTRY_COMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::failed);

        QSignalSpy loaded(login(), &PasswordEntryView::storedPasswordLoaded);
        enter(m_password);
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->dismiss());
        QVERIFY(loaded.wait(20000));
        QCOMPARE(content()->warningText(), m_lockedText);
        QVERIFY(!delegate()->isAuthenticated());

        enter(QStringLiteral("falsch"));
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_COMPARE_WITH_TIMEOUT(content()->warningText(), std::optional(PasswordEntryView::wrongPasswordText), 20000);
        QVERIFY(!delegate()->isAuthenticated());
        enter(m_password);
        QTRY_VERIFY(delegate()->isAuthenticated());
    }

    // The keyring is locked again while the user works; the settings need it and its prompt opens.
    // Meanwhile the lock item and the automatic logout still log out, and the login screen that
    // comes waits for the same prompt.
    void loggedOutWhileThePromptIsOpen_data()
    {
        QTest::addColumn<bool>("byTimeout");
        QTest::newRow("lock item") << false;
        QTest::newRow("automatic logout") << true;
    }

    void loggedOutWhileThePromptIsOpen()
    {
        QFETCH(bool, byTimeout);
        QVERIFY(loggedIn());
        QVERIFY(m_keyring->lock());
        delegate()->openSettings();
        QVERIFY(m_app->settingsWindow());
        QTRY_VERIFY(m_app->settingsWindow()->content()->settingsView());
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(keepsPainting());

        if (byTimeout) {
            InactivityMonitor* monitor = delegate()->inactivityMonitor();
            monitor->setTimeoutInterval(0.3);
            monitor->setIsAutoLogoutEnabled(true);
        } else {
            DraggableWindow* window = delegate()->mainWindow();
            QTRY_COMPARE(window->toolbar()->indexOfItem(AppDelegate::customButtonIdentifier), 0);
            QTest::mouseClick(window->toolbar()->items().constFirst()->view(), Qt::LeftButton);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!delegate()->isAuthenticated(), 10000);
        QCOMPARE(content()->branch(), WindowContent::Branch::login);
        QVERIFY(!m_app->settingsWindow()->content()->settingsView());
        QTRY_VERIFY(login()->isVisible());

        // One prompt for the settings' reads and the login's.
        QCOMPARE(m_prompt->count(), 1);
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_COMPARE_WITH_TIMEOUT(login()->storedPassword(), PasswordEntryView::StoredPassword::present, 20000);
        QVERIFY(m_prompt->waitUntilGone());
        enter(m_password);
        QTRY_VERIFY(delegate()->isAuthenticated());
    }
};

TARN_TEST_GUI_MAIN(TestKeyringPromptLogin)
#include "TestKeyringPromptLogin.moc"
