#pragma once

#include "app/settings/TimeOption.h"

#include <QWidget>

class InactivityMonitor;
class PasswordViewModel;
class QCheckBox;
class QComboBox;
class QLabel;

// The app-password tab's settings: the Touch ID switch (only while a reader can be used), automatic
// logout and its timeout. The two logout settings are the inactivity monitor's own and are written
// through it alone; the Touch ID switch writes the flag and goes back when the write fails.
class PasswordSettingsGroup : public QWidget
{
    Q_OBJECT

public:
    PasswordSettingsGroup(PasswordViewModel* viewModel, InactivityMonitor* monitor, QWidget* parent = nullptr);

    void setTouchIDAvailable(bool available);

    QCheckBox* touchIDToggle() const { return m_touchIDToggle; }
    QCheckBox* autoLogoutToggle() const { return m_autoLogoutToggle; }
    QComboBox* timeoutPicker() const { return m_timeoutPicker; }
    QWidget* timeoutRow() const { return m_timeoutRow; }
    const QList<TimeOption>& timeOptions() const { return m_timeOptions; }

private:
    void touchIDToggled(bool on);
    void showMonitorState();

    PasswordViewModel* m_viewModel;
    InactivityMonitor* m_monitor;
    const QList<TimeOption> m_timeOptions = TimeOption::all();
    QCheckBox* m_touchIDToggle = nullptr;
    QCheckBox* m_autoLogoutToggle = nullptr;
    QWidget* m_timeoutRow = nullptr;
    QLabel* m_timeoutLabel = nullptr;
    QComboBox* m_timeoutPicker = nullptr;
};
