#pragma once

#include <QWidget>

class AppDelegate;
class SettingsContent;

// The settings window: a window of its own whose content follows the authentication state. Its size
// follows the selected tab.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsWindow(AppDelegate* appDelegate, QWidget* parent = nullptr);

    SettingsContent* content() const { return m_content; }

protected:
    void childEvent(QChildEvent* event) override;

private:
    AppDelegate* m_appDelegate;
    SettingsContent* m_content = nullptr;
};
