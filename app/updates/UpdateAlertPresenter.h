#pragma once

#include "platform/updates/AppcastItem.h"
#include "platform/updates/UpdateError.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QLabel;
class QWidget;
class SheetOverlay;
class Updater;

// Shows the update sessions the user asks for as alert cards inside a window: the running check and the
// download's progress, each of which the user can cancel, then a found update with its download button,
// "no update", a failure or the saved file (then shown in the file manager). Feed texts show as plain
// text. Background sessions show nothing until the user asks for a check while one runs.
class UpdateAlertPresenter : public QObject
{
    Q_OBJECT

public:
    // The one presenter of an updater, made on first use.
    static UpdateAlertPresenter* forUpdater(Updater* updater);
    // A check the user asked for from origin: its outcome is shown in origin's window.
    static void checkForUpdates(Updater* updater, QWidget* origin);

    // The widget the cards belong to: they show in its window while it is visible, and close when it
    // hides (as on logout) or goes. While none was set, the active window.
    void setHost(QWidget* host);
    // The open card, or nullptr.
    SheetOverlay* currentCard() const;

public Q_SLOTS:
    void showChecking();
    void showUpdateFound(const AppcastItem& item);
    void showNoUpdate();
    void showFailure(const UpdateError& error);
    void showProgress(qint64 received, qint64 total);
    void showDownloaded(const AppcastItem& item, const QString& filePath, bool userInitiated);

private:
    explicit UpdateAlertPresenter(Updater* updater);
    struct CardButton
    {
        QString title;
        bool isDefault = false;
        std::function<void()> action;
    };
    static QString progressText(qint64 received, qint64 total);
    // The running check's card body: what runs, and an animation that plays while it does.
    static QWidget* checkingBody();
    // Updates an open progress card.
    void progressChanged(qint64 received, qint64 total);
    SheetOverlay* present(const QString& title, QWidget* message, const QList<CardButton>& buttons, bool isWarning);
    void startDownload();

    Updater* m_updater;
    QPointer<QWidget> m_host;
    bool m_hostWasSet = false;
    QPointer<SheetOverlay> m_card;
    QPointer<QLabel> m_progressLabel;
};
