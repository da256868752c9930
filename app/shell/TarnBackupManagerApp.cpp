#include "app/shell/TarnBackupManagerApp.h"

#include "app/settings/SettingsWindow.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/DraggableWindow.h"

#include <QRect>

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
        // A new settings window opens over the middle of the main window.
        if (QWidget* main = m_appDelegate->mainWindow()) {
            m_settingsWindow->adjustSize();
            QRect frame(QPoint(), m_settingsWindow->size());
            frame.moveCenter(main->frameGeometry().center());
            m_settingsWindow->move(frame.topLeft());
        }
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}
