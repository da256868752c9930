#pragma once

#include <QWidget>

class AppContext;
class SettingsContent;

// The settings window: a window of its own whose content follows the authentication state. Its size
// follows the selected tab.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsWindow(AppContext* appContext, QWidget* parent = nullptr);

    SettingsContent* content() const { return m_content; }

protected:
    void childEvent(QChildEvent* event) override;

private:
    AppContext* m_appContext;
    SettingsContent* m_content = nullptr;
};
