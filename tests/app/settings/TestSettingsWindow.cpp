#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordView.h"
#include "app/settings/PathView.h"
#include "app/settings/SettingsContent.h"
#include "app/settings/SettingsTabBar.h"
#include "app/settings/SettingsView.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/AppDelegate.h"
#include "app/updates/UpdateView.h"
#include "core/workflows/PathViewModel.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "platform/updates/Updater.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabBar>

using namespace SettingsTest;

// The settings window: empty while locked, four tabs while unlocked, built afresh whenever they come on
// screen, and everything over them closed before they go at a logout.
class TestSettingsWindow : public QObject
{
    Q_OBJECT

    SettingsKeyring m_keyring;
    std::unique_ptr<AppDelegate> m_delegate;
    QPointer<SettingsWindow> m_window;

    SettingsView* view() const { return m_window ? m_window->content()->settingsView() : nullptr; }

    bool tabsSettled() const
    {
        SettingsView* tabs = view();
        return tabs && settled(tabs->appPasswordView()) && settled(tabs->zipPasswordView());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_keyring.start()); }
    void cleanupTestCase() { m_keyring.stop(); }

    void init()
    {
        QVERIFY(clearAll({SettingsContent::masterPasswordModel(), SettingsContent::zipPasswordModel()}));
        m_delegate = std::make_unique<AppDelegate>();
        m_window = new SettingsWindow(m_delegate.get());
    }

    void cleanup()
    {
        delete m_window;
        m_delegate.reset();
    }

    void emptyWhileLockedTabsAtOnceOnUnlock()
    {
        m_window->show();
        QCOMPARE(view(), nullptr);
        QVERIFY(m_window->findChildren<PasswordView*>().isEmpty());
        QVERIFY(m_window->findChildren<PasswordViewModel*>().isEmpty());

        m_delegate->setIsAuthenticated(true);
        QVERIFY(view());
        QCOMPARE(view()->count(), 4);
        QVERIFY(tabsSettled());

        // Every write counts, but an unchanged one builds nothing new.
        SettingsView* built = view();
        m_delegate->setIsAuthenticated(true);
        QCOMPARE(view(), built);

        m_delegate->setIsAuthenticated(false);
        QCOMPARE(view(), nullptr);
        QVERIFY(m_window->findChildren<PasswordViewModel*>().isEmpty());
        QVERIFY(m_window->findChildren<PathViewModel*>().isEmpty());
    }

    void fourTabsAtTheirSizes()
    {
        // A build with a feed: the update tab has no reason to give for switches it cannot offer.
        m_delegate->updater()->setFeedUrl(QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml")));
        m_delegate->setIsAuthenticated(true);
        m_window->show();
        QVERIFY(tabsSettled());
        SettingsView* tabs = view();
        const QStringList labels{QStringLiteral("App Passwort"), QStringLiteral("Zip Passwort"),
                                 QStringLiteral("Speicherort"), QStringLiteral("Update")};
        const QList<QSize> sizes{{400, 170}, {400, 220}, {400, 200}, {400, 150}};
        const QList<QWidget*> contents{tabs->appPasswordView(), tabs->zipPasswordView(), tabs->pathView(),
                                       tabs->updateView()};
        QTRY_COMPARE(contents.first()->size(), sizes.first());
        const int chrome = m_window->height() - sizes.first().height();
        QVERIFY(chrome >= tabs->tabBar()->height());
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(tabs->tabText(i), labels.at(i));
            QVERIFY(!tabs->tabIcon(i).isNull());
            tabs->setCurrentIndex(i);
            QCOMPARE(contents.at(i)->size(), sizes.at(i));
            // The window fits the selected tab.
            QTRY_COMPARE(m_window->height(), sizes.at(i).height() + chrome);
        }
        QCOMPARE(tabs->appPasswordView()->viewModel()->keychainService().service(),
                 QStringLiteral("de.Tarn-Backup-Manager.MasterPassword"));
        QCOMPARE(tabs->zipPasswordView()->viewModel()->keychainService().service(),
                 QStringLiteral("de.Tarn-Backup-Manager.ZipPassword"));
    }

    void tabsFitTheWidth_data()
    {
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<bool>("fitsPages");
        QTest::newRow("the bar's own font") << 0 << true;
        // Labels too wide for 400 px widen the tabs rather than be cut.
        QTest::newRow("a large font") << 24 << false;
    }

    // The four tabs share the pages' 400 px, each label whole within its tab.
    void tabsFitTheWidth()
    {
        QFETCH(int, fontSize);
        QFETCH(bool, fitsPages);
        m_delegate->setIsAuthenticated(true);
        m_window->show();
        QVERIFY(tabsSettled());
        SettingsView* tabs = view();
        auto* bar = qobject_cast<SettingsTabBar*>(tabs->tabBar());
        QVERIFY(bar);
        if (fontSize > 0) {
            QFont font = bar->font();
            font.setPixelSize(fontSize);
            bar->setFont(font);
        }
        const QFontMetrics metrics(bar->font());
        for (int current = 0; current < tabs->count(); ++current) {
            tabs->setCurrentIndex(current);
            if (fitsPages) {
                QTRY_COMPARE(m_window->width(), 400);
                QCOMPARE(bar->width(), 400);
            } else {
                QTRY_VERIFY(m_window->width() > 400);
            }
            QVERIFY(bar->geometry().right() < m_window->width());
            for (int i = 0; i < bar->count(); ++i) {
                const QRect tab = bar->tabRect(i);
                QVERIFY(bar->rect().contains(tab));
                QCOMPARE(tab.width(), bar->tabRect(0).width());
                if (i > 0) {
                    QCOMPARE(tab.left(), bar->tabRect(i - 1).right() + 1);
                }
                QVERIFY(tab.contains(bar->iconRect(i)));
                QVERIFY(tab.contains(bar->labelRect(i)));
                QVERIFY2(metrics.horizontalAdvance(bar->tabText(i)) <= bar->labelRect(i).width(),
                         qPrintable(bar->tabText(i)));
                QVERIFY(metrics.height() <= bar->labelRect(i).height());
                QVERIFY(bar->labelRect(i).top() > bar->iconRect(i).bottom());
            }
            // The page keeps its size; the window fits it below the bar.
            QWidget* page = tabs->currentWidget()->layout()->itemAt(0)->widget();
            QCOMPARE(page->width(), 400);
            QTRY_VERIFY(m_window->rect().contains(QRect(page->mapTo(m_window, QPoint()), page->size())));
        }
    }

    void rebuiltEachTimeItComesOnScreen()
    {
        const QString folder = QDir::home().filePath(QStringLiteral("Neu gewählt"));
        QVERIFY(QDir().mkpath(folder));
        m_delegate->setIsAuthenticated(true);
        m_window->show();
        QVERIFY(tabsSettled());
        SettingsView* first = view();
        first->setCurrentIndex(1);
        PasswordView* archive = first->zipPasswordView();
        QTest::mouseClick(archive->changeButton(), Qt::LeftButton);
        QTest::keyClicks(archive->editSheet()->passwordField()->input(), QStringLiteral("Ungespeichert1"));
        QPointer<PasswordViewModel> oldModel = archive->viewModel();
        // Stored meanwhile elsewhere.
        QVERIFY(store(SettingsContent::zipPasswordModel(), QStringLiteral("Archiv1")));
        QSettings().setValue(PathViewModel::savedPathKey(), folder);

        m_window->hide();
        m_window->show();
        QVERIFY(tabsSettled());
        QVERIFY(view() != first);
        QVERIFY(!oldModel);
        QCOMPARE(view()->currentIndex(), 0);
        archive = view()->zipPasswordView();
        QCOMPARE(archive->viewModel()->password1(), QString());
        QVERIFY(!archive->editSheet());
        QVERIFY(archive->isPasswordStored());
        QCOMPARE(view()->pathView()->pathView()->text(), std::optional(folder));
    }

    // A logout closes the sheet, its alert and the folder chooser while their tabs still exist.
    void logoutClosesWhatIsOpenFirst()
    {
        m_delegate->setIsAuthenticated(true);
        m_window->show();
        QVERIFY(tabsSettled());
        QTest::mouseClick(view()->pathView()->chooseButton(), Qt::LeftButton);
        QPointer<QFileDialog> chooser = view()->pathView()->folderChooser();
        QVERIFY(chooser);
        QSignalSpy chooserClosed(chooser.data(), &QDialog::finished);
        PasswordView* archive = view()->zipPasswordView();
        QTest::mouseClick(archive->changeButton(), Qt::LeftButton);
        QVERIFY(archive->editSheet());
        QTest::mouseClick(archive->editSheet()->middleButton(), Qt::LeftButton); // empty entries: too short
        QTRY_VERIFY(archive->failureAlert());
        QSignalSpy sheetClosed(SheetOverlay::enclosing(archive->editSheet()), &SheetOverlay::dismissed);
        QSignalSpy alertClosed(archive->failureAlert(), &SheetOverlay::dismissed);

        // The inactivity timeout logs out the same way as the lock item.
        m_delegate->customButtonAction();
        QCOMPARE(view(), nullptr);
        // Each was told while its host still lived.
        QCOMPARE(sheetClosed.count(), 1);
        QCOMPARE(alertClosed.count(), 1);
        QCOMPARE(chooserClosed.count(), 1);
        QVERIFY(SheetOverlay::overlays(m_window).isEmpty());
        QTRY_VERIFY(!chooser);
        QCOMPARE(SettingsTest::stored(SettingsContent::zipPasswordModel()), QStringLiteral("<absent>"));

        // Unlocked again with the window open: fresh tabs at once.
        m_delegate->setIsAuthenticated(true);
        QVERIFY(view());
        QVERIFY(tabsSettled());
        QVERIFY(!view()->zipPasswordView()->editSheet());
    }

    void lockedWindowKeepsItsSize()
    {
        m_delegate->setIsAuthenticated(true);
        m_window->show();
        QVERIFY(tabsSettled());
        const int appTabHeight = m_window->height();
        view()->setCurrentIndex(2);
        QTRY_COMPARE(m_window->height(), appTabHeight - 170 + 200);
        const QSize unlocked = m_window->size();
        m_delegate->setIsAuthenticated(false);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_window->size(), unlocked);
    }
};

TARN_TEST_GUI_MAIN(TestSettingsWindow)
#include "TestSettingsWindow.moc"
