#include "app/backup/CreateZipView.h"
#include "app/backup/MainAppView.h"
#include "core/workflows/PathViewModel.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/screens/ScreenCatalog.h"

#include <QDir>
#include <QSettings>

// The create sheet while its folder has not answered yet, and its refusal of a folder in the
// sibling's container.
TARN_SCREENS(folderChecks)
{
    const QString backups = QDir::homePath() + QStringLiteral("/Backups");
    QDir().mkpath(backups);
    QSettings().setValue(PathViewModel::savedPathKey(), backups);

    BackupScreens::MainScreen main;
    QWidget& window = main.window;
    MainAppView* view = main.view;
    window.activateWindow();
    ScreenCatalog::settle(200);

    // Drawn before the event loop hands over the answer: as long as a stalled folder keeps it. A path
    // over two lines, as on a network share.
    const QString share = QDir::homePath() +
        QStringLiteral("/Netzlaufwerk/Betreuungssoftware/Wohngruppe Sonnenhof/Sicherungen der Jahre 2024 bis 2026");
    QSettings().setValue(PathViewModel::savedPathKey(), share);
    view->openSheet(BackupActionType::create);
    ScreenCatalog::save(&window, QStringLiteral("backup-create-checking"));
    view->closeSheet();
    ScreenCatalog::settle(300);

    const QString inContainer = BackupScreens::containerFolder() + QStringLiteral("/Backups");
    QDir().mkpath(inContainer);
    QSettings().setValue(PathViewModel::savedPathKey(), inContainer);
    view->openSheet(BackupActionType::create);
    ScreenCatalog::settle(400);
    ScreenCatalog::save(&window, QStringLiteral("backup-create-refused"));
    view->closeSheet();
    QSettings().setValue(PathViewModel::savedPathKey(), backups);
}
