#include "app/settings/PasswordView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"

using namespace SettingsTest;

// A password tab built while the keyring stays locked (its prompt cannot be shown here, so the
// keyring refuses to unlock at once): the tab shows the state of no password, and says why and what
// to do, instead of passing the failure over in silence.
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
        QCOMPARE(view->changeButton()->fields().text, std::optional(QStringLiteral("Passwort erstellen")));
        QVERIFY(view->failureAlert());
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Error"));
        QCOMPARE(message(view->failureAlert()),
                 QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: Der Schlüsselbund ist "
                                "gesperrt. Entsperre ihn, um fortzufahren."));
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("OK")));
        QTRY_COMPARE(view->failureAlert(), nullptr);

        QVERIFY(m_fixture.keyring.keyring()->unlock());
        QCOMPARE(stored(model), QStringLiteral("Vorher1"));
    }
};

TARN_TEST_GUI_MAIN(TestPasswordViewLockedKeyring)
#include "TestPasswordViewLockedKeyring.moc"
