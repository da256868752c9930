#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordSettingsGroup.h"
#include "app/settings/PasswordView.h"
#include "app/settings/PathView.h"
#include "app/settings/SettingsContent.h"
#include "app/settings/SettingsView.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/AppDelegate.h"
#include "app/updates/UpdateView.h"
#include "core/workflows/PathViewModel.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "platform/updates/Updater.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTabBar>

using namespace SettingsTest;
using namespace Qt::StringLiterals;

// The settings window with the keyboard alone: Tab reaches every control of each tab and of the
// password sheet, Space runs a button, Escape leaves the sheet.
class TestSettingsKeyboard : public QObject
{
    Q_OBJECT

    SettingsKeyring m_keyring;
    std::unique_ptr<AppDelegate> m_delegate;
    QPointer<SettingsWindow> m_window;

    SettingsView* view() const { return m_window->content()->settingsView(); }
    static QWidget* focused() { return QApplication::focusWidget(); }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(focused() ? focused() : m_window.data(), key, modifiers);
    }

    // What a whole round of Tab visits, in order, from where the focus is.
    QList<QWidget*> tabRound() const
    {
        QList<QWidget*> visited;
        for (int i = 0; i < 30; ++i) {
            press(Qt::Key_Tab);
            if (!focused() || visited.contains(focused()))
                break;
            visited << focused();
        }
        return visited;
    }

    bool openTab(int index)
    {
        view()->setCurrentIndex(index);
        view()->tabBar()->setFocus(Qt::TabFocusReason);
        return focused() == view()->tabBar();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_keyring.start()); }
    void cleanupTestCase() { m_keyring.stop(); }

    void init()
    {
        QVERIFY(clearAll({SettingsContent::masterPasswordModel(), SettingsContent::zipPasswordModel()}));
        m_delegate = std::make_unique<AppDelegate>();
        m_delegate->setIsAuthenticated(true);
        // A feed the update tab can offer its switches for; nothing is fetched from it.
        m_delegate->updater()->setFeedUrl(QUrl(u"http://127.0.0.1:9/appcast.xml"_s));
        m_window = new SettingsWindow(m_delegate.get());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QVERIFY(settled(view()->appPasswordView()));
        QVERIFY(settled(view()->zipPasswordView()));
    }

    void cleanup()
    {
        delete m_window;
        m_delegate.reset();
    }

    // The password tab: its button; the sheet it opens: both fields, the field buttons once there is
    // something to show or clear, and both buttons; Escape closes it and stores nothing.
    void passwordTabAndSheet()
    {
        QVERIFY(openTab(0));
        PasswordView* tab = view()->appPasswordView();
        const QList<QWidget*> round = tabRound();
        QVERIFY2(round.contains(tab->changeButton()), "Tab reaches \"Passwort erstellen\"");
        QVERIFY(round.contains(view()->tabBar()));

        tab->changeButton()->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Space);
        PasswordEditSheet* sheet = tab->editSheet();
        QVERIFY(sheet);
        sheet->passwordField()->input()->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(focused(), u"Geheim42!"_s);
        const QList<QWidget*> sheetRound = tabRound();
        const QList<QWidget*> expected{sheet->confirmationField()->input(),
                                       sheet->leftButton(),
                                       sheet->middleButton(),
                                       sheet->passwordField()->showHideButton(),
                                       sheet->passwordField()->input(),
                                       sheet->passwordField()->clearButton()};
        QCOMPARE(sheetRound.size(), expected.size());
        for (QWidget* control : expected)
            QVERIFY2(sheetRound.contains(control), qPrintable(control->accessibleName()));

        press(Qt::Key_Escape);
        QTRY_VERIFY(!tab->editSheet());
        QCOMPARE(stored(SettingsContent::masterPasswordModel()), u"<absent>"_s);
    }

    // With an app password stored, the tab's check box, picker and both buttons are reached too.
    void storedPasswordTab()
    {
        QVERIFY(store(SettingsContent::masterPasswordModel(), u"Geheim42!"_s));
        delete m_window;
        m_window = new SettingsWindow(m_delegate.get());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        PasswordView* tab = view()->appPasswordView();
        QVERIFY(settled(tab));
        QVERIFY(tab->removeButton()->isVisible());
        tab->settingsGroup()->autoLogoutToggle()->setChecked(true);
        QVERIFY(openTab(0));
        const QList<QWidget*> round = tabRound();
        for (QWidget* control :
             QList<QWidget*>{tab->settingsGroup()->autoLogoutToggle(), tab->settingsGroup()->timeoutPicker(),
                             tab->changeButton(), tab->removeButton()})
            QVERIFY(round.contains(control));
        tab->removeButton()->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Return);
        QVERIFY(tab->removalConfirmation());
        press(Qt::Key_Escape);
        QTRY_VERIFY(!tab->removalConfirmation());
        QCOMPARE(stored(SettingsContent::masterPasswordModel()), u"Geheim42!"_s);
    }

    // The folder tab: the folder link and the button; the update tab: both check boxes and the button.
    void folderAndUpdateTabs()
    {
        QSettings().setValue(PathViewModel::savedPathKey(), QDir::homePath());
        view()->pathView()->viewModel()->loadPath();
        QVERIFY(openTab(2));
        const QList<QWidget*> pathRound = tabRound();
        QVERIFY(pathRound.contains(view()->pathView()->pathView()));
        QVERIFY(pathRound.contains(view()->pathView()->chooseButton()));

        QVERIFY(openTab(3));
        UpdateView* update = view()->updateView();
        update->automaticChecksToggle()->setChecked(true);
        const QList<QWidget*> updateRound = tabRound();
        for (QWidget* control : QList<QWidget*>{update->automaticChecksToggle(), update->automaticDownloadsToggle(),
                                                update->checkButton()})
            QVERIFY(updateRound.contains(control));
    }
};

TARN_TEST_GUI_MAIN(TestSettingsKeyboard)
#include "TestSettingsKeyboard.moc"
