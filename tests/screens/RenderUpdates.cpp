#include "app/updates/BottomUpdateView.h"
#include "app/updates/CheckForUpdatesViewModel.h"
#include "app/updates/UpdateAlertPresenter.h"
#include "app/updates/UpdateView.h"
#include "app/updates/UpdaterDelegate.h"
#include "kit/theme/Motion.h"
#include "platform/updates/Updater.h"
#include "tests/screens/ScreenCatalog.h"

#include <QDesktopServices>
#include <QVBoxLayout>

namespace {

// Takes the file-manager requests of the scenes, so that rendering opens nothing.
class IgnoredUrls : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void open(const QUrl&) { }
};

// A main-window stand-in: empty content above the bottom bar.
struct BarWindow
{
    QWidget window;
    BottomUpdateView* bar;

    BarWindow(CheckForUpdatesViewModel* viewModel, UpdaterDelegate* delegate, const QSize& size)
        : bar(new BottomUpdateView(viewModel, delegate))
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addStretch();
        layout->addWidget(bar);
        window.setFixedSize(size);
        window.show();
    }
};

} // namespace

TARN_SCREENS(updates)
{
    Motion::setDefaultDuration(0);
    IgnoredUrls ignored;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &ignored, "open");

    UpdaterDelegate delegate;
    Updater updater(&delegate);
    updater.setFeedUrl(QUrl(QStringLiteral("https://updates.example.org/appcast.xml")));
    updater.start();
    CheckForUpdatesViewModel viewModel(&updater);
    const AppcastItem item{QStringLiteral("1.2.0"), QStringLiteral("1.2"),
                           QUrl(QStringLiteral("https://updates.example.org/tarn-backup-manager_1.2.0_amd64.deb")),
                           4200000, QByteArray()};

    {
        BarWindow strip(&viewModel, &delegate, QSize(600, 60));
        ScreenCatalog::settle(50);
        ScreenCatalog::save(&strip.window, QStringLiteral("updates-bottom-bar"));
        delegate.didFindValidUpdate(&updater, item);
        ScreenCatalog::settle(50);
        ScreenCatalog::save(&strip.window, QStringLiteral("updates-bottom-bar-offer"));
    }
    {
        UpdateView tab(&updater);
        tab.setFixedSize(400, 150);
        tab.show();
        ScreenCatalog::settle(50);
        ScreenCatalog::save(&tab, QStringLiteral("updates-tab"));
    }
    {
        BarWindow main(&viewModel, &delegate, QSize(900, 500));
        UpdateAlertPresenter* presenter = UpdateAlertPresenter::forUpdater(&updater);
        presenter->setHost(&main.window);
        const auto card = [&](const QString& name) {
            ScreenCatalog::settle(100);
            ScreenCatalog::save(&main.window, name);
        };
        presenter->showChecking();
        card(QStringLiteral("updates-checking"));
        presenter->showUpdateFound(item);
        card(QStringLiteral("updates-check-found"));
        presenter->showNoUpdate();
        card(QStringLiteral("updates-check-none"));
        presenter->showFailure(UpdateError{UpdateError::badSignature, QString()});
        card(QStringLiteral("updates-check-error"));
        presenter->showProgress(1300000, item.enclosureLength);
        card(QStringLiteral("updates-download-progress"));
        presenter->showDownloaded(
            item, Updater::downloadFolder() + QStringLiteral("/tarn-backup-manager_1.2.0_amd64.deb"), true);
        card(QStringLiteral("updates-downloaded"));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

#include "RenderUpdates.moc"
