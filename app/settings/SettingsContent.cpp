#include "app/settings/SettingsContent.h"

#include "app/common/AppContext.h"
#include "app/settings/PathView.h"
#include "app/settings/SettingsView.h"
#include "kit/dialogs/SheetOverlay.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace {
// Room around a card: its overlay keeps 12 pixels, its shadow wants more below and above.
const QSize cardRoom(2 * 12, 2 * 32);
} // namespace

SettingsContent::SettingsContent(AppContext* appContext, QWidget* parent)
    : QWidget(parent)
    , m_appContext(appContext)
    , m_lastSize(SettingsView::tabWidth, 170)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    connect(m_appContext, &AppContext::isAuthenticatedChanged, this, &SettingsContent::authenticationChanged);
}

SettingsContent::~SettingsContent() = default;

PasswordModel SettingsContent::masterPasswordModel()
{
    return {ModelType::masterPassword, serviceName(ModelType::masterPassword),
            QStringLiteral("Bitte gib das Master-Passwort ein, um die App zu entsperren. Das Passwort wird sicher im "
                           "standardmäßigen Schlüsselbund gespeichert."),
            true};
}

PasswordModel SettingsContent::zipPasswordModel()
{
    return {ModelType::zipPassword, serviceName(ModelType::zipPassword),
            QStringLiteral("Bitte gib das Master-Passwort für Archive ein. Das Passwort wird sicher im "
                           "standardmäßigen Schlüsselbund gespeichert. Nach der Erstellung eines Archivs wird "
                           "empfohlen, das Master-Passwort nicht mehr zu ändern, da dieses Passwort zur "
                           "Verschlüsselung der Archive verwendet wird."),
            false};
}

QSize SettingsContent::sizeHint() const
{
    // While locked the window keeps the size it had.
    QSize size = m_settingsView ? QWidget::sizeHint() : m_lastSize;
    // The window grows while a sheet or alert needs more room than the tab.
    for (const SheetOverlay* overlay : SheetOverlay::overlays(window())) {
        const QWidget* card = overlay->card();
        if (!card) {
            continue;
        }
        size = size.expandedTo(SheetOverlay::cardSize(card) + cardRoom);
    }
    return size;
}

void SettingsContent::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() && m_appContext->isAuthenticated()) {
        build();
    }
}

void SettingsContent::authenticationChanged(bool authenticated)
{
    if (!authenticated) {
        tearDown();
    } else if (!m_settingsView && isVisible()) {
        build();
    }
}

void SettingsContent::build()
{
    tearDown();
    m_settingsView = new SettingsView(m_appContext, masterPasswordModel(), zipPasswordModel(), this);
    layout()->addWidget(m_settingsView);
    updateGeometry();
    Q_EMIT settingsViewBuilt();
}

void SettingsContent::tearDown()
{
    if (!m_settingsView) {
        return;
    }
    // What is open over the tabs closes before they go.
    m_settingsView->pathView()->closeFolderChooser();
    SheetOverlay::dismissAll(window());
    m_lastSize = m_settingsView->size();
    delete m_settingsView;
    m_settingsView = nullptr;
    updateGeometry();
}
