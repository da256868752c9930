#pragma once

#include "app/settings/PasswordView.h"
#include "app/settings/SettingsContent.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/DraggableWindow.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordModel.h"
#include "core/credentials/PasswordViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/SheetOverlay.h"
#include "platform/fingerprint/FingerprintReader.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/PrivateKeyring.h"

#include <QLabel>
#include <QSettings>
#include <QTextDocumentFragment>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

// A keyring of the test's own (the settings touch the application's real items and the global Touch
// ID flag, so they must not share the keyring with other tests), whose bus also serves the fingerprint
// readers: without a started FakeFprintd there is no reader.
class SettingsKeyring
{
public:
    bool start()
    {
        m_keyring = std::make_unique<PrivateKeyring>();
        if (!m_keyring->isRunning()) {
            return false;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyring->busAddress().toUtf8());
        FingerprintReader::setDefaultConnection(
            QDBusConnection::connectToBus(m_keyring->busAddress(), QStringLiteral("settings-readers")));
        return true;
    }

    void stop()
    {
        m_reader.reset();
        FingerprintReader::setDefaultConnection(QDBusConnection(QStringLiteral("none")));
        QDBusConnection::disconnectFromBus(QStringLiteral("settings-readers"));
        m_keyring.reset();
    }

    PrivateKeyring* keyring() const { return m_keyring.get(); }

    // A fingerprint reader with an enrolled finger, until removeReader().
    bool addReader()
    {
        m_reader = std::make_unique<FakeFprintd>(m_keyring->busAddress());
        return m_reader->isRegistered();
    }
    void removeReader() { m_reader.reset(); }

private:
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<FakeFprintd> m_reader;
};

namespace SettingsTest {

inline QString stored(const PasswordModel& model)
{
    const auto result = KeychainService(model.service).getString(rawValue(model.key));
    if (!result) {
        return QStringLiteral("<error: %1>").arg(QLatin1String(SecretStoreError::name(result.error().code)));
    }
    return result->value_or(QStringLiteral("<absent>"));
}

inline bool store(const PasswordModel& model, const QString& password)
{
    return bool(KeychainService(model.service).set(password, rawValue(model.key)));
}

inline bool touchIDFlag()
{
    return KeychainService().getBool(PasswordViewModel::touchIDKey);
}

// Every item and preference the settings use, gone.
inline bool clearAll(const QList<PasswordModel>& models)
{
    QSettings().clear();
    for (const PasswordModel& model : models) {
        if (!KeychainService(model.service).remove(rawValue(model.key))) {
            return false;
        }
    }
    return bool(SecretStore::clear({{SecretStore::accountAttribute, PasswordViewModel::touchIDKey}}));
}

// The tab has read the store and no action runs.
inline bool settled(PasswordView* view)
{
    return QTest::qWaitFor([view] { return !view->isLoading() && !view->isBusy(); });
}

inline AlertCommon* card(SheetOverlay* overlay)
{
    return overlay ? qobject_cast<AlertCommon*>(overlay->card()) : nullptr;
}

inline QString title(SheetOverlay* overlay)
{
    AlertCommon* alert = card(overlay);
    return alert && alert->titleLabel() ? alert->titleLabel()->text() : QString();
}

// The message as the user reads it: rich text (bold spans) reduced to its characters.
inline QString message(SheetOverlay* overlay)
{
    AlertCommon* alert = card(overlay);
    auto* label = alert ? qobject_cast<QLabel*>(alert->content()) : nullptr;
    if (!label) {
        return QString();
    }
    return label->textFormat() == Qt::RichText ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                                               : label->text();
}

inline QStringList buttonTitles(SheetOverlay* overlay)
{
    QStringList titles;
    if (AlertCommon* alert = card(overlay)) {
        for (TrendyButtonHelper* button : alert->buttonViews()) {
            titles << button->fields().text.value_or(QString());
        }
    }
    return titles;
}

// Clicks the alert's button of that title; false when there is none.
inline bool clickAlertButton(SheetOverlay* overlay, const QString& buttonTitle)
{
    AlertCommon* alert = card(overlay);
    if (!alert) {
        return false;
    }
    for (TrendyButtonHelper* button : alert->buttonViews()) {
        if (button->fields().text == buttonTitle) {
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

} // namespace SettingsTest

// One password tab at a time in a window of its own, over the test's keyring, with the application
// unlocked and nothing stored.
class PasswordTabFixture
{
public:
    SettingsKeyring keyring;
    const PasswordModel app = SettingsContent::masterPasswordModel();
    const PasswordModel archive = SettingsContent::zipPasswordModel();
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<QWidget> window;

    // Before each test function.
    bool reset()
    {
        close();
        // On a busy machine the store may give up on a call, and fails the calls after it at once while
        // the abandoned one still runs: clearing is tried again until it goes through.
        if (!QTest::qWaitFor([this] { return SettingsTest::clearAll({app, archive}); }, 30000)) {
            return false;
        }
        delegate = std::make_unique<AppDelegate>();
        delegate->setIsAuthenticated(true);
        return true;
    }

    void close()
    {
        (void)keyring.keyring()->unlock();
        keyring.removeReader();
        window.reset();
        delegate.reset();
    }

    // Replaces the delegate with one launched as the application does, whose main window stands in the
    // unlocked look once its own check for the lock item is done.
    bool launchMainWindow()
    {
        window.reset();
        delegate.reset();
        ShellTestSupport::shortenTimings();
        delegate = ShellTestSupport::launch();
        if (!delegate || !delegate->isAuthenticated() || !delegate->mainWindow()) {
            return false;
        }
        QSignalSpy checked(delegate.get(), &AppDelegate::lockButtonUpdated);
        return checked.wait(10000);
    }

    // The lock items in the main window's toolbar.
    int lockItems() const
    {
        return int(delegate->mainWindow()->toolbar()->itemIdentifiers().count(AppDelegate::customButtonIdentifier));
    }

    PasswordView* makeTab(const PasswordModel& model)
    {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        auto* view = new PasswordView(delegate.get(), model, window.get());
        layout->addWidget(view);
        window->resize(460, 420);
        window->show();
        return view;
    }
};
