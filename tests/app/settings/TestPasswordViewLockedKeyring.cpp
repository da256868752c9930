#include "app/settings/PasswordView.h"
#include "kit/controls/TrendyButtonHelper.h"

#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"
#include <QLabel>

using namespace SettingsTest;

// A password tab built while the keyring stays locked (its prompt cannot be shown here, so the
// keyring refuses to unlock at once): the tab says that it cannot tell whether a password is stored,
// offers neither creating nor removing one, and says why and what to do.
class TestPasswordViewLockedKeyring : public QObject
{
    Q_OBJECT

    PasswordTabFixture m_fixture;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.keyring.start()); }
    void cleanupTestCase()
    {
        m_fixture.close();
        m_fixture.keyring.stop();
    }

    void init() { QVERIFY(m_fixture.reset()); }
    void cleanup() { m_fixture.close(); }

    void tabSaysTheKeyringIsLocked_data()
    {
        QTest::addColumn<bool>("appPassword");
        QTest::newRow("app password") << true;
        QTest::newRow("archive password") << false;
    }

    void tabSaysTheKeyringIsLocked()
    {
        QFETCH(bool, appPassword);
        const PasswordModel& model = appPassword ? m_fixture.app : m_fixture.archive;
        QVERIFY(store(model, QStringLiteral("Vorher1")));
        QVERIFY(m_fixture.keyring.keyring()->lock());

        PasswordView* view = m_fixture.makeTab(model);
        QVERIFY(settled(view));
        QVERIFY(view->isStateUnknown());
        QVERIFY(!view->changeButton()->isVisibleTo(view));
        QVERIFY(!view->removeButton()->isVisibleTo(view));
        QVERIFY(view->stateLabel()->isVisibleTo(view));
        QCOMPARE(view->stateLabel()->text(),
                 QStringLiteral("Ob ein Passwort gespeichert ist, ist unbekannt. Der Schlüsselbund ist gesperrt. "
                                "Entsperre ihn, um fortzufahren."));
        QVERIFY(view->failureAlert());
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Error"));
        QCOMPARE(message(view->failureAlert()),
                 QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: Der Schlüsselbund ist "
                                "gesperrt. Entsperre ihn, um fortzufahren."));
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("OK")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        if (qEnvironmentVariableIsSet("TARN_SCREENSHOT_DIR")) {
            QTest::qWait(400);
            view->window()->grab().save(qEnvironmentVariable("TARN_SCREENSHOT_DIR") +
                                        QStringLiteral("/password-tab-unknown-%1.png").arg(appPassword ? 1 : 2));
        }

        QVERIFY(m_fixture.keyring.keyring()->unlock());
        QCOMPARE(stored(model), QStringLiteral("Vorher1"));
    }
};

TARN_TEST_GUI_MAIN(TestPasswordViewLockedKeyring)
#include "TestPasswordViewLockedKeyring.moc"
