#include "app/settings/PasswordSettingsGroup.h"

#include "core/credentials/PasswordViewModel.h"
#include "core/lock/InactivityMonitor.h"
#include "platform/WhenFinished.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

PasswordSettingsGroup::PasswordSettingsGroup(PasswordViewModel* viewModel, InactivityMonitor* monitor, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_monitor(monitor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    m_touchIDToggle = new QCheckBox(QStringLiteral("Touch ID verwenden"), this);
    m_touchIDToggle->setChecked(m_viewModel->useTouchID());
    m_touchIDToggle->hide();
    column->addWidget(m_touchIDToggle);
    connect(m_touchIDToggle, &QCheckBox::toggled, this, &PasswordSettingsGroup::touchIDToggled);
    connect(m_viewModel, &PasswordViewModel::useTouchIDChanged, this, [this] {
        const QSignalBlocker blocker(m_touchIDToggle);
        m_touchIDToggle->setChecked(m_viewModel->useTouchID());
    });

    m_autoLogoutToggle = new QCheckBox(QStringLiteral("Auto-Logout aktivieren"), this);
    column->addWidget(m_autoLogoutToggle);
    connect(m_autoLogoutToggle, &QCheckBox::toggled, m_monitor, &InactivityMonitor::setIsAutoLogoutEnabled);

    m_timeoutRow = new QWidget(this);
    auto* row = new QHBoxLayout(m_timeoutRow);
    row->setContentsMargins(0, 0, 0, 0);
    m_timeoutLabel = new QLabel(QStringLiteral("Timeout auswählen"), m_timeoutRow);
    m_timeoutPicker = new QComboBox(m_timeoutRow);
    m_timeoutPicker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const TimeOption& option : m_timeOptions) {
        m_timeoutPicker->addItem(option.label(), option.seconds());
    }
    m_timeoutLabel->setBuddy(m_timeoutPicker);
    row->addWidget(m_timeoutLabel);
    row->addWidget(m_timeoutPicker);
    row->addStretch();
    column->addWidget(m_timeoutRow);
    connect(m_timeoutPicker, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            m_monitor->setTimeoutInterval(m_timeoutPicker->itemData(index).toDouble());
        }
    });

    // Both password tabs and the monitor share the settings: show every change, write none back.
    connect(m_monitor, &InactivityMonitor::isAutoLogoutEnabledChanged, this, &PasswordSettingsGroup::showMonitorState);
    connect(m_monitor, &InactivityMonitor::timeoutIntervalChanged, this, &PasswordSettingsGroup::showMonitorState);
    showMonitorState();
}

void PasswordSettingsGroup::setTouchIDAvailable(bool available)
{
    m_touchIDToggle->setVisible(available);
}

void PasswordSettingsGroup::showMonitorState()
{
    const QSignalBlocker toggleBlocker(m_autoLogoutToggle);
    const QSignalBlocker pickerBlocker(m_timeoutPicker);
    m_autoLogoutToggle->setChecked(m_monitor->isAutoLogoutEnabled());
    // A stored timeout that is no choice selects none and stays as it is.
    m_timeoutPicker->setCurrentIndex(m_timeoutPicker->findData(m_monitor->timeoutInterval()));
    m_timeoutRow->setVisible(m_monitor->isAutoLogoutEnabled());
}

void PasswordSettingsGroup::touchIDToggled(bool on)
{
    m_viewModel->setUseTouchID(on);
    m_touchIDToggle->setEnabled(false);
    whenFinished(this, m_viewModel->storeTouchIDAsync(on), [this, on](const PasswordViewModel::Outcome& stored) {
        m_touchIDToggle->setEnabled(true);
        if (!stored) {
            m_viewModel->setUseTouchID(!on);
            m_viewModel->setValidationError(stored.error());
        }
    });
}
