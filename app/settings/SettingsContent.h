#pragma once

#include "core/credentials/PasswordModel.h"

#include <QWidget>

class AppContext;
class SettingsView;

// The settings window's content: nothing while the application is locked, the tabs while it is
// unlocked. The tabs are built from scratch each time they come on screen (the window is shown, or the
// application is unlocked with the window open), so every stored value is read again and unsaved
// entries are gone. Locking closes the window's sheets, alerts and folder chooser before the tabs go.
class SettingsContent : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsContent(AppContext* appContext, QWidget* parent = nullptr);
    ~SettingsContent() override;

    static PasswordModel masterPasswordModel();
    static PasswordModel zipPasswordModel();

    // The tabs, or nullptr while locked or not yet shown.
    SettingsView* settingsView() const { return m_settingsView; }

    QSize sizeHint() const override;
    // The tabs have fixed sizes: the size hint alone decides.
    bool hasHeightForWidth() const override { return false; }

Q_SIGNALS:
    // A new set of tabs was built.
    void settingsViewBuilt();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void authenticationChanged(bool authenticated);
    void build();
    void tearDown();

    AppContext* m_appContext;
    SettingsView* m_settingsView = nullptr;
    QSize m_lastSize;
};
