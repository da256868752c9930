#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordSettingsGroup.h"
#include "app/settings/PasswordView.h"
#include "app/settings/SettingsContent.h"
#include "app/shell/AppDelegate.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"

#include <QCheckBox>

using namespace SettingsTest;

// The fingerprint login's switch on the app-password tab, over a fake reader service and a keyring of
// the test's own that can be locked to make the flag write fail.
class TestTouchIDSetting : public QObject
{
    Q_OBJECT

    PasswordTabFixture m_fixture;
    const PasswordModel& m_app = m_fixture.app;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.keyring.start()); }
    void cleanupTestCase()
    {
        m_fixture.close();
        m_fixture.keyring.stop();
    }

    void init()
    {
        QVERIFY(m_fixture.reset());
        QVERIFY(store(m_app, QStringLiteral("Geheim42")));
    }
    void cleanup() { m_fixture.close(); }

    void switchOnlyWithReader_data()
    {
        QTest::addColumn<bool>("reader");
        QTest::newRow("no reader") << false;
        QTest::newRow("reader with a finger") << true;
    }

    void switchOnlyWithReader()
    {
        QFETCH(bool, reader);
        if (reader) {
            QVERIFY(m_fixture.keyring.addReader());
        }
        PasswordView* view = m_fixture.makeTab(m_app);
        QVERIFY(settled(view));
        QVERIFY(view->settingsGroup()->isVisibleTo(m_fixture.window.get()));
        QCOMPARE(view->isTouchIDAvailable(), reader);
        QCOMPARE(view->settingsGroup()->touchIDToggle()->isVisibleTo(m_fixture.window.get()), reader);
    }

    // With every row shown (fingerprint, automatic logout, its timeout) the tab grows so that the
    // success band, once a save shows it, lies below the buttons.
    void bandNeverCoversTheButtons()
    {
        QVERIFY(m_fixture.keyring.addReader());
        PasswordView* view = m_fixture.makeTab(m_app);
        QVERIFY(settled(view));
        view->settingsGroup()->autoLogoutToggle()->click();
        QVERIFY(view->settingsGroup()->timeoutRow()->isVisibleTo(m_fixture.window.get()));
        view->viewModel()->setWarningText(QStringLiteral("Passwort erfolgreich gespeichert."));
        QTRY_VERIFY(view->warningText()->isBandShown());
        const QWidget* button = view->changeButton();
        const int buttonsBottom = button->mapTo(view, QPoint(0, button->height())).y();
        QTRY_VERIFY2(buttonsBottom <= view->height() - view->warningText()->reservedHeight(view->width()),
                     qPrintable(QStringLiteral("buttons end at %1 of %2 px").arg(buttonsBottom).arg(view->height())));
        QVERIFY(view->height() >= 300);
        view->settingsGroup()->autoLogoutToggle()->click();
    }

    void switchWritesTheFlag()
    {
        QVERIFY(m_fixture.keyring.addReader());
        KeychainService().setBool(true, PasswordViewModel::touchIDKey);
        PasswordView* view = m_fixture.makeTab(m_app);
        QVERIFY(settled(view));
        QCheckBox* toggle = view->settingsGroup()->touchIDToggle();
        QVERIFY(toggle->isChecked());
        QVERIFY(view->viewModel()->useTouchID());

        toggle->click();
        QVERIFY(!view->viewModel()->useTouchID());
        QTRY_VERIFY(toggle->isEnabled());
        QVERIFY(!touchIDFlag());
        toggle->click();
        QTRY_VERIFY(toggle->isEnabled());
        QVERIFY(touchIDFlag());
        QVERIFY(toggle->isChecked());
        QCOMPARE(view->failureAlert(), nullptr);
    }

    void failedFlagWriteTurnsTheSwitchBack()
    {
        QVERIFY(m_fixture.keyring.addReader());
        PasswordView* view = m_fixture.makeTab(m_app);
        QVERIFY(settled(view));
        QCheckBox* toggle = view->settingsGroup()->touchIDToggle();
        QVERIFY(!toggle->isChecked());

        QVERIFY(m_fixture.keyring.keyring()->lock());
        toggle->click();
        QTRY_VERIFY(view->failureAlert());
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Error"));
        QCOMPARE(message(view->failureAlert()),
                 QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: Die Touch-ID-Einstellung "
                                "wurde nicht gespeichert."));
        QVERIFY(!toggle->isChecked());
        QVERIFY(!view->viewModel()->useTouchID());
        QVERIFY(toggle->isEnabled());
        QVERIFY(m_fixture.keyring.keyring()->unlock());
        QVERIFY(!touchIDFlag());
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("OK")));
        QTRY_COMPARE(view->viewModel()->validationError(), std::nullopt);
    }

    void editSheetWithoutReaderClearsTheFlag_data()
    {
        QTest::addColumn<bool>("reader");
        QTest::addColumn<bool>("flagAfter");
        QTest::newRow("no reader") << false << false;
        QTest::newRow("reader") << true << true;
    }

    void editSheetWithoutReaderClearsTheFlag()
    {
        QFETCH(bool, reader);
        QFETCH(bool, flagAfter);
        if (reader) {
            QVERIFY(m_fixture.keyring.addReader());
        }
        KeychainService().setBool(true, PasswordViewModel::touchIDKey);
        // The archive tab's sheet does the same.
        for (const PasswordModel& model : {m_app, m_fixture.archive}) {
            KeychainService().setBool(true, PasswordViewModel::touchIDKey);
            PasswordView* view = m_fixture.makeTab(model);
            QVERIFY(settled(view));
            QTest::mouseClick(view->changeButton(), Qt::LeftButton);
            QVERIFY(view->editSheet());
            QCOMPARE(view->viewModel()->useTouchID(), flagAfter && model.isTouchID);
            QTRY_COMPARE(touchIDFlag(), flagAfter);
        }
    }
};

TARN_TEST_GUI_MAIN(TestTouchIDSetting)
#include "TestTouchIDSetting.moc"
