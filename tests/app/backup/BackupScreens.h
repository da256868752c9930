#pragma once

#include "app/backup/ActionContext.h"
#include "app/backup/MainAppView.h"
#include "app/shell/AppDelegate.h"
#include "core/workflows/PathViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/theme/Motion.h"
#include "platform/updates/Updater.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/PrivateKeyring.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QTest>
#include <QTextDocument>
#include <QVBoxLayout>

#include <memory>

// Shared set-up of the backup screen tests: the folders under the test HOME, a keyring of the test's
// own for the archive password, and the main screen in a window.
namespace BackupScreens {

inline QString containerFolder()
{
    return QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen");
}

inline QString dataFolder()
{
    return containerFolder() + QStringLiteral("/Data");
}

inline QString backupFolder()
{
    return QDir::homePath() + QStringLiteral("/Backups");
}

inline void useBackupFolder(const QString& folder)
{
    QSettings().setValue(PathViewModel::savedPathKey(), folder);
}

// A small Data folder whose files carry the marker, so that two trees can be told apart.
inline bool writeDataTree(const QString& marker)
{
    QDir(dataFolder()).removeRecursively();
    return writeFile(dataFolder() + QStringLiteral("/bewohner.db"), marker.toUtf8()) &&
        writeFile(dataFolder() + QStringLiteral("/Anhänge/brief.txt"), "Brief " + marker.toUtf8()) &&
        QDir().mkpath(dataFolder() + QStringLiteral("/leer"));
}

// An empty backup folder, chosen in the settings, and a Data folder of the marker.
inline bool freshFolders(const QString& marker = QStringLiteral("eins"))
{
    QDir(backupFolder()).removeRecursively();
    useBackupFolder(backupFolder());
    return QDir().mkpath(backupFolder()) && writeDataTree(marker);
}

inline QStringList backupNames()
{
    return QDir(backupFolder()).entryList({QStringLiteral("Backup_*.orlwen")}, QDir::Files, QDir::Name);
}

// A gnome-keyring of the test's own, so that parallel tests never share the archive password. Start it
// before the first credential-store call of the process.
inline std::unique_ptr<PrivateKeyring> useOwnKeyring()
{
    auto keyring = std::make_unique<PrivateKeyring>();
    if (keyring->isRunning())
        qputenv("DBUS_SESSION_BUS_ADDRESS", keyring->busAddress().toUtf8());
    return keyring;
}

// The identifier the main screen looks for as the sibling app in these tests: one of this process's
// own, so that the user's real sibling app is never found, let alone closed.
inline QString siblingName()
{
    static const QString name = QStringLiteral("tarn%1-sib").arg(QCoreApplication::applicationPid() % 10000000);
    return name;
}

// The main screen in a window, with short delays.
struct MainScreen
{
    AppDelegate delegate;
    QWidget window;
    MainAppView* view = nullptr;

    explicit MainScreen(MainAppView::Timing timing = fastTiming())
    {
        Motion::setDefaultDuration(0);
        MainAppView::setSiblingBundleIdentifierForTesting(siblingName());
        delegate.updater()->setAutomaticallyChecksForUpdates(false);
        window.resize(900, 500);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new MainAppView(&delegate, &window);
        view->setTiming(timing);
        layout->addWidget(view);
        window.show();
    }

    static MainAppView::Timing fastTiming()
    {
        MainAppView::Timing timing;
        timing.backgroundUpdateCheckDelay = 10;
        timing.startDelayAfterTermination = 10;
        timing.terminationTimeout = 5000;
        timing.eraseCloseDelay = 10;
        return timing;
    }

    ActionContext* context() const { return view->actionContext(); }
    BlurredSheetContentHelper* sheet() const { return view->sheet(); }
    template <typename Screen>
    Screen* screen() const
    {
        return qobject_cast<Screen*>(view->screen());
    }

    void pressAction() const { QTest::mouseClick(view->sheet()->middleButton(), Qt::LeftButton); }
    void pressCancel() const { QTest::mouseClick(view->sheet()->leftButton(), Qt::LeftButton); }
};

// The card of an open alert overlay.
inline AlertCommon* card(SheetOverlay* overlay)
{
    return overlay ? qobject_cast<AlertCommon*>(overlay->card()) : nullptr;
}

// The message of an open alert as the user reads it.
inline QString alertMessage(SheetOverlay* overlay)
{
    AlertCommon* alert = card(overlay);
    auto* label = alert ? qobject_cast<QLabel*>(alert->content()) : nullptr;
    if (!label)
        return {};
    if (label->textFormat() != Qt::RichText)
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

// Clicks the alert button with the title.
inline bool clickAlertButton(SheetOverlay* overlay, const QString& title)
{
    AlertCommon* alert = card(overlay);
    if (!alert)
        return false;
    for (TrendyButtonHelper* button : alert->buttonViews()) {
        if (button->fields().text == title) {
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

} // namespace BackupScreens
