#include "app/updates/BottomUpdateView.h"

BottomUpdateView::BottomUpdateView(CheckForUpdatesViewModel* checkForUpdatesViewModel, UpdaterDelegate* updaterDelegate,
                                   QWidget* parent)
    : QWidget(parent)
    , m_checkForUpdatesViewModel(checkForUpdatesViewModel)
    , m_updaterDelegate(updaterDelegate)
{
}

QSize BottomUpdateView::sizeHint() const
{
    return {400, 20};
}
