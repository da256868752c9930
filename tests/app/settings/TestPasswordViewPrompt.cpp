#include "app/settings/PasswordView.h"
#include "app/settings/SettingsContent.h"
#include "app/shell/AppDelegate.h"
#include "core/credentials/KeychainService.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/KeyringPrompt.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QTabWidget>

using namespace SettingsTest;

// A password tab over a locked keyring whose real unlock prompt shows on a private X server: a
// dismissed prompt leaves the tab saying that the state is unknown, and the tab asks again each time
// it is shown.
class TestPasswordViewPrompt : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateDisplay> m_display;
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<KeyringPrompt> m_prompt;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<QTabWidget> m_window;
    const PasswordModel m_app = SettingsContent::masterPasswordModel();
    const PasswordModel m_archive = SettingsContent::zipPasswordModel();

    static bool isShown(QWidget* widget) { return widget && widget->isVisibleTo(widget->window()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startPromptingKeyring(m_display, m_keyring, m_prompt));
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void cleanup()
    {
        m_window.reset();
        m_delegate.reset();
        QVERIFY(m_prompt->waitUntilGone());
    }

    void cleanupTestCase()
    {
        m_prompt.reset();
        m_keyring.reset();
        m_display.reset();
    }

    void dismissedPromptLeavesTheStateUnknown_data()
    {
        QTest::addColumn<bool>("appPassword");
        QTest::newRow("app password") << true;
        QTest::newRow("archive password") << false;
    }

    void dismissedPromptLeavesTheStateUnknown()
    {
        QFETCH(bool, appPassword);
        const PasswordModel& model = appPassword ? m_app : m_archive;
        QVERIFY(m_keyring->unlock());
        QVERIFY(store(model, QStringLiteral("Vorher1")));
        QVERIFY(m_keyring->lock());

        m_delegate = std::make_unique<AppDelegate>();
        m_delegate->setIsAuthenticated(true);
        m_window = std::make_unique<QTabWidget>();
        auto* view = new PasswordView(m_delegate.get(), model);
        m_window->addTab(view, QStringLiteral("Passwort"));
        m_window->addTab(new QLabel(QStringLiteral("Anderer Tab")), QStringLiteral("Anderer"));
        m_window->resize(460, 420);
        m_window->show();

        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->dismiss());
        QVERIFY(settled(view));
        // Neither "Passwort erstellen" nor any other action: the tab does not know.
        QVERIFY(view->isStateUnknown());
        QVERIFY(!isShown(view->changeButton()));
        QVERIFY(!isShown(view->removeButton()));
        QVERIFY(isShown(view->stateLabel()));
        QCOMPARE(view->stateLabel()->text(),
                 PasswordView::unknownStateText(SecretStoreError{SecretStoreError::locked, {}}.summary()));
        if (view->failureAlert()) {
            QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("OK")));
        }
        QTRY_COMPARE(view->failureAlert(), nullptr);

        // Another tab and back: the tab asks again, and this time the keyring is unlocked.
        m_window->setCurrentIndex(1);
        QTest::qWait(100);
        QCOMPARE(m_prompt->count(), 0);
        m_window->setCurrentIndex(0);
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_VERIFY(!view->isStateUnknown());
        QVERIFY(settled(view));
        QVERIFY(!isShown(view->stateLabel()));
        QCOMPARE(view->changeButton()->fields().text, std::optional(QStringLiteral("Passwort ändern")));
        QVERIFY(isShown(view->changeButton()));
        QVERIFY(isShown(view->removeButton()));
        QCOMPARE(stored(model), QStringLiteral("Vorher1"));
        QVERIFY(KeychainService(model.service).remove(rawValue(model.key)));
    }
};

TARN_TEST_GUI_MAIN(TestPasswordViewPrompt)
#include "TestPasswordViewPrompt.moc"
