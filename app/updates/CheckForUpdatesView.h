#pragma once

#include <QWidget>

class AccessoryBarButton;
class CheckForUpdatesViewModel;
class QVariantAnimation;
class UpdaterDelegate;

// The offer of a found update in the bottom bar: the App Store image and "Update verfügbar v." with the
// version, in the accent colour. It fades and scales in (and out) over 0.8 s as an update becomes
// available (or not); a click starts a check the user asked for; it is disabled while no check may start.
class CheckForUpdatesView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int transitionDuration = 800;

    CheckForUpdatesView(CheckForUpdatesViewModel* viewModel, UpdaterDelegate* updaterDelegate,
                        QWidget* parent = nullptr);

    AccessoryBarButton* button() const { return m_button; }
    // Whether the offer is shown (also while it fades out).
    bool isOffered() const;

private:
    void availabilityChanged();
    void versionChanged();

    CheckForUpdatesViewModel* m_viewModel;
    UpdaterDelegate* m_updaterDelegate;
    AccessoryBarButton* m_button;
    QVariantAnimation* m_transition;
};
