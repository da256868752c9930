#include "app/backup/MainAppView.h"

#include "app/shell/AppDelegate.h"

MainAppView::MainAppView(AppDelegate* appDelegate, QWidget* parent)
    : QWidget(parent)
    , m_appDelegate(appDelegate)
{
}
