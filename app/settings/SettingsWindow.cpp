#include "app/settings/SettingsWindow.h"

SettingsWindow::SettingsWindow(AppDelegate* appDelegate, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_appDelegate(appDelegate)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Einstellungen"));
}
