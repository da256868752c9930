#include "app/updates/CheckForUpdatesView.h"

#include "app/updates/AccessoryBarButton.h"
#include "app/updates/CheckForUpdatesViewModel.h"
#include "app/updates/UpdateAlertPresenter.h"
#include "app/updates/UpdaterDelegate.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"

#include <QHBoxLayout>
#include <QVariantAnimation>

CheckForUpdatesView::CheckForUpdatesView(CheckForUpdatesViewModel* viewModel, UpdaterDelegate* updaterDelegate,
                                         QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_updaterDelegate(updaterDelegate)
    , m_button(new AccessoryBarButton(this))
    , m_transition(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button);
    m_button->setImage(QStringLiteral(":/images/AppStore.svg"));
    m_button->setTextColor(TarnColor::accentColor());
    m_button->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal));
    m_button->setEnabled(m_viewModel->canCheckForUpdates());
    connect(m_viewModel, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, this,
            [this] { m_button->setEnabled(m_viewModel->canCheckForUpdates()); });
    connect(m_button, &AccessoryBarButton::clicked, this,
            [this] { UpdateAlertPresenter::checkForUpdates(m_viewModel->updater(), this); });

    m_transition->setEasingCurve(Motion::easeInOut());
    connect(m_transition, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_button->setAppearance(value.toReal()); });
    connect(m_transition, &QVariantAnimation::finished, this, [this] {
        if (!m_updaterDelegate->isUpdateAvailable())
            m_button->hide();
    });
    connect(m_updaterDelegate, &UpdaterDelegate::isUpdateAvailableChanged, this,
            &CheckForUpdatesView::availabilityChanged);
    connect(m_updaterDelegate, &UpdaterDelegate::availableUpdateVersionChanged, this,
            &CheckForUpdatesView::versionChanged);

    versionChanged();
    const bool available = m_updaterDelegate->isUpdateAvailable();
    m_button->setAppearance(available ? 1.0 : 0.0);
    m_button->setVisible(available);
}

bool CheckForUpdatesView::isOffered() const
{
    return !m_button->isHidden();
}

void CheckForUpdatesView::availabilityChanged()
{
    const bool available = m_updaterDelegate->isUpdateAvailable();
    const qreal target = available ? 1.0 : 0.0;
    m_transition->stop();
    if (available) {
        m_button->show();
        versionChanged();
    }
    if (Motion::defaultDuration() == 0 || isHidden()) {
        m_button->setAppearance(target);
        m_button->setVisible(available);
        return;
    }
    m_transition->setDuration(transitionDuration);
    m_transition->setStartValue(m_button->appearance());
    m_transition->setEndValue(target);
    m_transition->start();
}

void CheckForUpdatesView::versionChanged()
{
    // While the offer fades out it keeps the version it offered.
    const QString version = m_updaterDelegate->availableUpdateVersion();
    if (version.isEmpty() && !m_updaterDelegate->isUpdateAvailable())
        return;
    m_button->setText(QStringLiteral("Update verfügbar v.") + version);
}
