#pragma once

#include <QWidget>

class AppDelegate;

// The settings window: a window of its own whose content follows the authentication state.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsWindow(AppDelegate* appDelegate, QWidget* parent = nullptr);

private:
    AppDelegate* m_appDelegate;
};
