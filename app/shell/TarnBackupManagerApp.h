#pragma once

#include <QObject>
#include <QPointer>

class AppDelegate;
class SettingsWindow;

// The application object: owns the delegate for the life of the process and the one settings window.
class TarnBackupManagerApp : public QObject
{
    Q_OBJECT

public:
    explicit TarnBackupManagerApp(QObject* parent = nullptr);
    ~TarnBackupManagerApp() override;

    AppDelegate* appDelegate() const { return m_appDelegate; }
    SettingsWindow* settingsWindow() const;

    // Opens the settings window, or brings the open one to the front.
    void showSettingsWindow();

private:
    AppDelegate* m_appDelegate;
    QPointer<SettingsWindow> m_settingsWindow;
};
