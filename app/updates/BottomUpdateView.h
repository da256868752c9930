#pragma once

#include <QWidget>

class CheckForUpdatesViewModel;
class UpdaterDelegate;

// The bottom bar of the main screen: the version (a link to the release notes) and, at the trailing
// end, the offer of a found update.
class BottomUpdateView : public QWidget
{
    Q_OBJECT

public:
    BottomUpdateView(CheckForUpdatesViewModel* checkForUpdatesViewModel, UpdaterDelegate* updaterDelegate,
                     QWidget* parent = nullptr);

    QSize sizeHint() const override;

private:
    CheckForUpdatesViewModel* m_checkForUpdatesViewModel;
    UpdaterDelegate* m_updaterDelegate;
};
