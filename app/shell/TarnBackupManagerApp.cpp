#include "app/shell/TarnBackupManagerApp.h"

#include "app/settings/SettingsWindow.h"
#include "app/shell/AppDelegate.h"

TarnBackupManagerApp::TarnBackupManagerApp(QObject* parent)
    : QObject(parent)
    , m_appDelegate(new AppDelegate(this))
{
    connect(m_appDelegate, &AppDelegate::settingsRequested, this, &TarnBackupManagerApp::showSettingsWindow);
}

TarnBackupManagerApp::~TarnBackupManagerApp()
{
    delete m_settingsWindow;
}

SettingsWindow* TarnBackupManagerApp::settingsWindow() const
{
    return m_settingsWindow;
}

void TarnBackupManagerApp::showSettingsWindow()
{
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(m_appDelegate);
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}
