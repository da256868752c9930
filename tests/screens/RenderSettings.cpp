#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordView.h"
#include "app/settings/PathView.h"
#include "app/settings/SettingsContent.h"
#include "app/settings/SettingsView.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/GermanTranslations.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "core/lock/InactivityMonitor.h"
#include "core/workflows/PathViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "platform/fingerprint/FingerprintReader.h"
#include "tests/screens/ScreenCatalog.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/PrivateBus.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

namespace {

// Presses Tab until the widget has the focus, as a keyboard user gets there.
void tabTo(QWidget* window, const QWidget* target)
{
    for (int i = 0; i < 30 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
}

} // namespace

// The settings window: its four tabs, the edit sheet and the override question.
TARN_SCREENS(settings)
{
    // A fingerprint reader, so that the app-password tab shows its Touch ID switch.
    PrivateBus bus;
    FakeFprintd reader(bus.address());
    FingerprintReader::setDefaultConnection(QDBusConnection::connectToBus(bus.address(), QStringLiteral("screens")));

    const PasswordModel app = SettingsContent::masterPasswordModel();
    const PasswordModel archive = SettingsContent::zipPasswordModel();
    (void)KeychainService(app.service).set(QStringLiteral("Geheim42"), rawValue(app.key));
    (void)KeychainService(archive.service).remove(rawValue(archive.key));
    // A fixed path keeps the picture the same from run to run; the tab does not look at the folder.
    const QString fixedPath = QStringLiteral("/home/anna/Dokumente/Sicherungen/Tarn");
    QSettings().setValue(PathViewModel::savedPathKey(), fixedPath);

    AppDelegate delegate;
    delegate.inactivityMonitor()->setIsAutoLogoutEnabled(true);
    delegate.setIsAuthenticated(true);
    auto* window = new SettingsWindow(&delegate);
    window->show();
    window->activateWindow();
    ScreenCatalog::settle(600);
    SettingsView* view = window->content()->settingsView();
    ScreenCatalog::save(window, QStringLiteral("settings-app-password"));
    // The message band of a saved password, under the tab's buttons.
    view->appPasswordView()->viewModel()->setWarningText(QStringLiteral("Passwort erfolgreich gespeichert."));
    ScreenCatalog::settle(1000);
    ScreenCatalog::save(window, QStringLiteral("settings-app-password-saved"));
    view->appPasswordView()->viewModel()->setWarningText(std::nullopt);
    ScreenCatalog::settle(200);

    view->setCurrentIndex(1);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(window, QStringLiteral("settings-zip-password"));

    view->zipPasswordView()->viewModel()->setShowTextFields(true);
    ScreenCatalog::settle(200);
    PasswordEditSheet* sheet = view->zipPasswordView()->editSheet();
    sheet->passwordField()->input()->setText(QStringLiteral("Archiv2024"));
    sheet->confirmationField()->input()->setText(QStringLiteral("Archiv2024"));
    ScreenCatalog::settle(800);
    ScreenCatalog::save(window, QStringLiteral("settings-edit-sheet"));
    tabTo(window, sheet->passwordField()->showHideButton());
    ScreenCatalog::settle(200);
    ScreenCatalog::save(window, QStringLiteral("settings-focus-field-button"));
    window->setAttribute(Qt::WA_KeyboardFocusChange, false);
    view->zipPasswordView()->viewModel()->setShowTextFields(false);

    view->setCurrentIndex(2);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(window, QStringLiteral("settings-path"));
    tabTo(window, view->pathView()->pathView());
    ScreenCatalog::settle(200);
    ScreenCatalog::save(window, QStringLiteral("settings-focus-path-link"));
    window->setAttribute(Qt::WA_KeyboardFocusChange, false);

    view->setCurrentIndex(3);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(window, QStringLiteral("settings-update"));

    // The archive password exists: changing it asks first.
    (void)KeychainService(archive.service).set(QStringLiteral("Archiv1"), rawValue(archive.key));
    view->setCurrentIndex(1);
    view->zipPasswordView()->viewModel()->setShowTextFields(true);
    ScreenCatalog::settle(200);
    sheet = view->zipPasswordView()->editSheet();
    sheet->passwordField()->input()->setText(QStringLiteral("Archiv2"));
    sheet->confirmationField()->input()->setText(QStringLiteral("Archiv2"));
    sheet->middleButton()->trigger();
    ScreenCatalog::settle(600);
    ScreenCatalog::save(window, QStringLiteral("settings-override-question"));

    // The folder chooser with Qt's texts in German, as the application shows it, over a folder of
    // fixed content. The tab reads the folder when it is built.
    installGermanQtTranslations();
    const QString folders = QDir::temp().filePath(QStringLiteral("tarn-screens-folders"));
    for (const char* name : {"Sicherungen", "Dokumente", "Projekte"}) {
        QDir().mkpath(folders + QLatin1Char('/') + QLatin1String(name));
    }
    QSettings().setValue(PathViewModel::savedPathKey(), folders);
    delete window;
    window = new SettingsWindow(&delegate);
    window->show();
    ScreenCatalog::settle(400);
    view = window->content()->settingsView();
    view->setCurrentIndex(2);
    view->pathView()->chooseButton()->trigger();
    QFileDialog* chooser = view->pathView()->folderChooser();
    chooser->resize(640, 400);
    ScreenCatalog::settle(600);
    ScreenCatalog::save(chooser, QStringLiteral("settings-folder-chooser"));
    view->pathView()->closeFolderChooser();
    QDir(folders).removeRecursively();
    QSettings().setValue(PathViewModel::savedPathKey(), fixedPath);

    delete window;
    (void)KeychainService(app.service).remove(rawValue(app.key));
    (void)KeychainService(archive.service).remove(rawValue(archive.key));
    FingerprintReader::setDefaultConnection(QDBusConnection(QStringLiteral("none")));
    QDBusConnection::disconnectFromBus(QStringLiteral("screens"));
}
