#include "app/login/PasswordEntryView.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/WindowContent.h"
#include "core/credentials/BiometricContext.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/SecureInputView.h"
#include "platform/fingerprint/FingerprintReader.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QLabel>

using namespace ShellTestSupport;

// The fingerprint login through fprintd (a fake of it on a private bus) and a keyring of its own.
class TestFingerprintLogin : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<FakeFprintd> m_fprintd;
    std::unique_ptr<AppDelegate> m_delegate;
    const QString m_password = QStringLiteral("Geheim1!");

    PasswordEntryView* login() const { return m_delegate->windowContent()->passwordEntryView(); }

    void startService(bool hasDevice, const QStringList& fingers, const QStringList& results)
    {
        m_fprintd = std::make_unique<FakeFprintd>(m_bus->address());
        FakeFprintd::Config config;
        config.hasDevice = hasDevice;
        config.enrolledFingers = fingers;
        config.verifyResults = results;
        m_fprintd->setConfig(config);
    }

    // A launch with the app password and the fingerprint choice stored, its login screen ready.
    bool showLogin(bool touchIdOnAppear)
    {
        m_delegate.reset();
        auto delegate = std::make_unique<AppDelegate>();
        delegate->setIsTouchIdOnAppear(touchIdOnAppear);
        QSignalSpy decided(delegate.get(), &AppDelegate::launchDecided);
        delegate->applicationDidFinishLaunching();
        if ((decided.isEmpty() && !decided.wait()) || delegate->isAuthenticated()) {
            return false;
        }
        m_delegate = std::move(delegate);
        return true;
    }

    bool startCheck()
    {
        if (!showLogin(false)) {
            return false;
        }
        QSignalSpy started(login(), &PasswordEntryView::touchIdCheckStarted);
        if (!QTest::qWaitFor([this] { return login()->isTouchID(); })) {
            return false;
        }
        login()->touchIdButton()->trigger();
        return !started.isEmpty() || started.wait();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());
        FingerprintReader::setDefaultConnection(
            QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("fingerprint-login")));
        shortenTimings();
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(storeAppPassword(m_password));
        setTouchIdChoice(true);
    }

    void cleanup()
    {
        m_delegate.reset();
        m_fprintd.reset();
    }

    void cleanupTestCase()
    {
        FingerprintReader::setDefaultConnection(QDBusConnection(QStringLiteral("none")));
        QDBusConnection::disconnectFromBus(QStringLiteral("fingerprint-login"));
    }

    void outcome_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("hasDevice");
        QTest::addColumn<QStringList>("fingers");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QString>("warning");
        const QStringList finger{QStringLiteral("right-index-finger")};
        QTest::newRow("match") << true << true << finger << QStringList{QStringLiteral("verify-match")} << QString();
        QTest::newRow("no match") << true << true << finger << QStringList{QStringLiteral("verify-no-match")}
                                  << PasswordEntryView::touchIdFailedText;
        QTest::newRow("retry, then match")
            << true << true << finger
            << QStringList{QStringLiteral("verify-retry-scan"), QStringLiteral("verify-match")} << QString();
        QTest::newRow("no reader") << true << false << finger << QStringList()
                                   << PasswordEntryView::touchIdUnavailableText;
        QTest::newRow("no finger enrolled")
            << true << true << QStringList() << QStringList() << PasswordEntryView::touchIdUnavailableText;
        QTest::newRow("no fprintd") << false << false << QStringList() << QStringList()
                                    << PasswordEntryView::touchIdUnavailableText;
    }

    // The automatic check of the first login screen of a launch, and what each answer does.
    void outcome()
    {
        QFETCH(bool, running);
        QFETCH(bool, hasDevice);
        QFETCH(QStringList, fingers);
        QFETCH(QStringList, results);
        QFETCH(QString, warning);
        if (running) {
            startService(hasDevice, fingers, results);
        }
        QVERIFY(showLogin(true));
        DraggableWindow* window = m_delegate->mainWindow();
        const QPoint start = window->pos();
        QSignalSpy shaken(window, &DraggableWindow::shakeFinished);

        QTRY_VERIFY(!m_delegate->isTouchIdOnAppear()); // started by itself, once per launch
        if (warning.isEmpty()) {
            QTRY_VERIFY(m_delegate->isAuthenticated());
            QCOMPARE(m_delegate->windowContent()->warningText(), std::nullopt);
            QVERIFY(shaken.isEmpty());
            return;
        }
        QTRY_COMPARE(m_delegate->windowContent()->warningText(), std::optional(warning));
        QVERIFY(!m_delegate->isAuthenticated());
        QVERIFY(shaken.count() == 1 || shaken.wait());
        QCOMPARE(window->pos(), start);
        QTRY_VERIFY(!login()->isEvaluatingTouchID());
        QVERIFY(!login()->touchIdPrompt()->isVisible());
        if (running && hasDevice && !fingers.isEmpty()) {
            QTRY_COMPARE(m_fprintd->calls().releases, 1);
        }
        // The next login screen of this launch waits for the button.
        m_delegate->setIsAuthenticated(true);
        m_delegate->setIsAuthenticated(false);
        QTRY_VERIFY(login()->isTouchID());
        QVERIFY(!login()->isEvaluatingTouchID());
    }

    // Escape ends the running check like the cancel button of a prompt: a failure.
    void cancelledByTheUser()
    {
        startService(true, {QStringLiteral("left-thumb")}, {});
        QVERIFY(startCheck());
        QTRY_COMPARE(m_fprintd->calls().verifyStarts, 1);
        QVERIFY(login()->touchIdPrompt()->isVisible());
        QCOMPARE(login()->touchIdPrompt()->text(), BiometricContext::unlockReason);

        QTest::keyClick(login()->passwordField(), Qt::Key_Escape);
        QCOMPARE(m_delegate->windowContent()->warningText(), std::optional(PasswordEntryView::touchIdFailedText));
        QVERIFY(!login()->isEvaluatingTouchID());
        QVERIFY(!m_delegate->isAuthenticated());
        QTRY_COMPARE(m_fprintd->calls().verifyStops, 1);
        QTRY_COMPARE(m_fprintd->calls().releases, 1);
    }

    void screenGoesAway_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("password login") << QStringLiteral("password");
        QTest::newRow("password login, then lock") << QStringLiteral("lock");
        QTest::newRow("window closed") << QStringLiteral("close");
    }

    // A check still running when its login screen goes away ends on the reader, says nothing, and
    // its reply can no longer unlock.
    void screenGoesAway()
    {
        QFETCH(QString, how);
        startService(true, {QStringLiteral("left-thumb")}, {});
        QVERIFY(startCheck());
        QTRY_COMPARE(m_fprintd->calls().verifyStarts, 1);
        const QPointer<PasswordEntryView> screen = login();
        const QPointer<BiometricContext> context = screen->findChild<BiometricContext*>();
        QVERIFY(context && context->isEvaluating());
        QSignalSpy shaken(m_delegate->mainWindow(), &DraggableWindow::shakeFinished);

        if (how == QLatin1String("close")) {
            m_delegate->mainWindow()->close();
        } else {
            QTest::keyClicks(screen->passwordField(), m_password);
            QTest::keyClick(screen->passwordField(), Qt::Key_Return);
            QTRY_VERIFY(m_delegate->isAuthenticated());
            if (how == QLatin1String("lock")) {
                m_delegate->customButtonAction();
            }
        }
        QTRY_COMPARE(m_fprintd->calls().verifyStops, 1);
        QTRY_COMPARE(m_fprintd->calls().releases, 1);
        QVERIFY(!screen || !screen->isEvaluatingTouchID());
        QTRY_VERIFY(!context);
        QCOMPARE(m_delegate->isAuthenticated(), how == QLatin1String("password"));
        QVERIFY(shaken.isEmpty() && !m_delegate->mainWindow()->isShaking());
        const std::optional<QString> warning = m_delegate->windowContent()->warningText();
        QVERIFY(warning != PasswordEntryView::touchIdFailedText);
    }
};

TARN_TEST_GUI_MAIN(TestFingerprintLogin)
#include "TestFingerprintLogin.moc"
