#include "app/updates/UpdateAlertPresenter.h"

#include "kit/controls/LottieView.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/theme/TarnColor.h"
#include "platform/Diagnostics.h"
#include "platform/updates/Updater.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace {

// The card's message view, as the label it is (the download's progress changes its text), kept to plain
// text: feed texts may hold the kit's bold marks.
QLabel* messageLabel(const QString& text)
{
    auto* label = qobject_cast<QLabel*>(AlertCommon::messageText(QString()));
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

} // namespace

UpdateAlertPresenter* UpdateAlertPresenter::forUpdater(Updater* updater)
{
    if (auto* existing = updater->findChild<UpdateAlertPresenter*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    return new UpdateAlertPresenter(updater);
}

void UpdateAlertPresenter::checkForUpdates(Updater* updater, QWidget* origin)
{
    if (!updater)
        return;
    UpdateAlertPresenter* presenter = forUpdater(updater);
    if (origin)
        presenter->setHost(origin);
    updater->checkForUpdates();
    // The session now reports to the user, also one that was running in the background.
    if (updater->isChecking())
        presenter->showChecking();
    else if (updater->isDownloading())
        presenter->showProgress(updater->receivedBytes(), updater->foundUpdate()->enclosureLength);
}

UpdateAlertPresenter::UpdateAlertPresenter(Updater* updater)
    : QObject(updater)
    , m_updater(updater)
{
    connect(updater, &Updater::userUpdateFound, this, &UpdateAlertPresenter::showUpdateFound);
    connect(updater, &Updater::userUpdateNotFound, this, &UpdateAlertPresenter::showNoUpdate);
    connect(updater, &Updater::userSessionFailed, this, &UpdateAlertPresenter::showFailure);
    connect(updater, &Updater::downloadProgress, this, &UpdateAlertPresenter::progressChanged);
    connect(updater, &Updater::updateDownloaded, this, &UpdateAlertPresenter::showDownloaded);
}

void UpdateAlertPresenter::setHost(QWidget* host)
{
    m_host = host;
    m_hostWasSet = true;
}

SheetOverlay* UpdateAlertPresenter::currentCard() const
{
    return m_card && !m_card->isDismissed() ? m_card.data() : nullptr;
}

SheetOverlay* UpdateAlertPresenter::present(const QString& title, QWidget* message, const QList<CardButton>& buttons,
                                            bool isWarning)
{
    if (m_card)
        m_card->dismiss();
    m_progressLabel = nullptr;
    // A host that went away takes its cards with it: no other window stands in.
    QWidget* host = m_hostWasSet ? m_host.data() : QApplication::activeWindow();
    if (!host || !host->isVisible()) {
        qCDebug(lcDiagnostics) << "Нет окна для сообщения об обновлении.";
        delete message;
        return nullptr;
    }
    QList<AlertCustomButton<AlertNoItem>> cardButtons;
    for (const CardButton& button : buttons) {
        AlertCustomButton<AlertNoItem> cardButton;
        cardButton.title = button.title;
        cardButton.bgColor = button.isDefault ? TarnColor::accentColor() : TarnColor::secondary();
        cardButton.isDefault = button.isDefault;
        cardButton.action = [action = button.action](const std::optional<AlertNoItem>&) {
            if (action)
                action();
        };
        cardButtons << cardButton;
    }
    m_card = AlertCustom::alertCustom(
        host, Binding<bool>::state(true), title, [message] { return message; }, cardButtons,
        isWarning ? AlertCustomType::warn : AlertCustomType::info);
    return m_card;
}

void UpdateAlertPresenter::showUpdateFound(const AppcastItem& item)
{
    const QString downloaded = m_updater->downloadedFile();
    if (!downloaded.isEmpty()) {
        const QString folder = QFileInfo(downloaded).absolutePath();
        present(QStringLiteral("Update verfügbar"),
                messageLabel(QStringLiteral("Die Version %1 liegt bereits im Ordner „Downloads“:\n%2")
                                 .arg(item.displayVersionString, QFileInfo(downloaded).fileName())),
                {{QStringLiteral("OK"), false, nullptr},
                 {QStringLiteral("Im Ordner zeigen"), true,
                  [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }}},
                false);
        return;
    }
    QPointer<UpdateAlertPresenter> self(this);
    present(QStringLiteral("Update verfügbar"),
            messageLabel(QStringLiteral("Die Version %1 ist verfügbar. Du verwendest die Version %2.")
                             .arg(item.displayVersionString, Updater::currentVersion())),
            {{QStringLiteral("Später"), false, nullptr},
             {QStringLiteral("Herunterladen"), true,
              [self] {
                  if (self)
                      self->startDownload();
              }}},
            false);
}

void UpdateAlertPresenter::startDownload()
{
    m_updater->downloadUpdate();
    if (m_updater->isDownloading())
        showProgress(0, m_updater->foundUpdate() ? m_updater->foundUpdate()->enclosureLength : -1);
}

QWidget* UpdateAlertPresenter::checkingBody()
{
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(messageLabel(QStringLiteral("Es wird geprüft, ob eine neuere Version verfügbar ist.")));
    // The app's working animation, for as long as the check lasts.
    auto* busy = new LottieView(QStringLiteral("paperclip_black"), LottieLoopMode::loop, body);
    busy->setFixedSize(25, 25);
    busy->setContentOpacity(0.7);
    busy->setAccessibleName(QStringLiteral("Suche läuft"));
    column->addWidget(busy, 0, Qt::AlignHCenter);
    return body;
}

void UpdateAlertPresenter::showChecking()
{
    Updater* updater = m_updater;
    present(QStringLiteral("Suche nach Updates …"), checkingBody(),
            {{QStringLiteral("Abbrechen"), true, [updater] { updater->cancel(); }}}, false);
}

void UpdateAlertPresenter::showNoUpdate()
{
    present(QStringLiteral("Kein Update verfügbar"),
            messageLabel(QStringLiteral("Du verwendest die neueste Version (%1).").arg(Updater::currentVersion())),
            {{QStringLiteral("OK"), true, nullptr}}, false);
}

void UpdateAlertPresenter::showFailure(const UpdateError& error)
{
    present(QStringLiteral("Update nicht möglich"), messageLabel(error.message()),
            {{QStringLiteral("OK"), true, nullptr}}, true);
}

QString UpdateAlertPresenter::progressText(qint64 received, qint64 total)
{
    const QLocale locale(QLocale::German, QLocale::Germany);
    return total > 0
        ? QStringLiteral("%1 von %2 geladen").arg(locale.formattedDataSize(received), locale.formattedDataSize(total))
        : QStringLiteral("%1 geladen").arg(locale.formattedDataSize(received));
}

void UpdateAlertPresenter::progressChanged(qint64 received, qint64 total)
{
    if (currentCard() && m_progressLabel)
        m_progressLabel->setText(progressText(received, total));
}

void UpdateAlertPresenter::showProgress(qint64 received, qint64 total)
{
    QLabel* label = messageLabel(progressText(received, total));
    Updater* updater = m_updater;
    if (present(QStringLiteral("Update wird heruntergeladen"), label,
                {{QStringLiteral("Abbrechen"), true, [updater] { updater->cancel(); }}}, false))
        m_progressLabel = label;
}

void UpdateAlertPresenter::showDownloaded(const AppcastItem& item, const QString& filePath, bool userInitiated)
{
    if (!userInitiated)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(filePath).absolutePath()));
    present(QStringLiteral("Update heruntergeladen"),
            messageLabel(QStringLiteral("Die Version %1 liegt jetzt im Ordner „Downloads“:\n%2\n\n"
                                        "Installiere sie mit der Paketverwaltung deines Systems.")
                             .arg(item.displayVersionString, QFileInfo(filePath).fileName())),
            {{QStringLiteral("OK"), true, nullptr}}, false);
}
