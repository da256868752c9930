#include "app/updates/UpdateView.h"

UpdateView::UpdateView(Updater* updater, QWidget* parent)
    : QWidget(parent)
    , m_updater(updater)
{
}
