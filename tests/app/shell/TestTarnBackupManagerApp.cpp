#include "app/settings/SettingsWindow.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/TarnBackupManagerApp.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/TestMain.h"

#include <QPointer>

using namespace ShellTestSupport;

// The application object's one settings window.
class TestTarnBackupManagerApp : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        shortenTimings();
        QVERIFY(storeAppPassword(std::nullopt));
    }

    // Every request shows the same window; a closed one is made anew.
    void oneSettingsWindowAtATime()
    {
        TarnBackupManagerApp app;
        QSignalSpy decided(app.appDelegate(), &AppDelegate::launchDecided);
        app.appDelegate()->applicationDidFinishLaunching();
        QVERIFY(decided.wait(10000));
        QVERIFY(app.appDelegate()->mainWindow());

        app.appDelegate()->openSettings();
        QPointer<SettingsWindow> first = app.settingsWindow();
        QVERIFY(first);
        QVERIFY(first->isVisible());

        app.appDelegate()->openSettings();
        QCOMPARE(app.settingsWindow(), first.data());

        first->close();
        QTRY_VERIFY(!first);
        app.appDelegate()->openSettings();
        QVERIFY(app.settingsWindow());
        QVERIFY(app.settingsWindow()->isVisible());
    }
};

TARN_TEST_GUI_MAIN(TestTarnBackupManagerApp)
#include "TestTarnBackupManagerApp.moc"
