#pragma once

#include "core/lock/PreferenceBacked.h"
#include "platform/AppSettings.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class LocalEventMonitor;
class ResumeWatcher;

// Logs the user out after a time without mouse clicks, mouse moves or key presses in the
// application. Watches only while the user is authenticated and automatic logout is on; each
// counted event restarts the one-shot logout timer and the countdown of remainingTime.
// Timers stand still while the machine is suspended, so the time since the last activity is also
// read from a clock that keeps running then: on every countdown step and when the machine
// resumes, time asleep counts as inactivity and logs out once the timeout has passed.
class InactivityMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isAutoLogoutEnabled READ isAutoLogoutEnabled WRITE setIsAutoLogoutEnabled NOTIFY
                   isAutoLogoutEnabledChanged)
    Q_PROPERTY(double timeoutInterval READ timeoutInterval WRITE setTimeoutInterval NOTIFY timeoutIntervalChanged)
    Q_PROPERTY(double remainingTime READ remainingTime NOTIFY remainingTimeChanged)

public:
    static inline const QString autoLogoutKey = AppSettings::name(AppSettings::Key::isAutoLogoutEnabled);
    static inline const QString timeoutKey = AppSettings::name(AppSettings::Key::logoutTimeout);

    // Reads both preferences and writes them back; starts nothing.
    explicit InactivityMonitor(QObject* parent = nullptr);
    ~InactivityMonitor() override;

    bool isAutoLogoutEnabled() const { return m_isAutoLogoutEnabled.value(); }
    // Every write counts: off stops the monitor, on starts it while the user is authenticated.
    void setIsAutoLogoutEnabled(bool enabled);
    double timeoutInterval() const { return m_timeoutInterval.value(); }
    // Every write restarts the timers with the new interval (when watching).
    void setTimeoutInterval(double seconds);
    double remainingTime() const { return m_remainingTime; }

    // The application's authentication state, kept current by its owner.
    bool isAuthenticated() const { return m_isAuthenticated; }
    void setIsAuthenticated(bool authenticated) { m_isAuthenticated = authenticated; }
    // Called when the logout timer fires.
    void setOnTimeout(std::function<void()> action) { m_onTimeout = std::move(action); }

    // Restarts the timers and installs the one event monitor.
    void startMonitoring();
    // Removes the event monitor and stops both timers; safe at any time.
    void stopMonitoring();
    // Restarts both timers; nothing unless authenticated with automatic logout on.
    void resetTimer();

    bool hasLocalEventMonitor() const { return m_localEventMonitor != nullptr; }
    bool isTimeoutPending() const { return m_inactivityTimer.isActive(); }
    bool isCountdownRunning() const { return m_countdownTimer.isActive(); }

    // Test hook: the real time between two countdown steps (each step counts one second).
    void setCountdownTickInterval(std::chrono::milliseconds interval) { m_countdownTimer.setInterval(interval); }
    // Test hook: the clock that runs on during suspend (CLOCK_BOOTTIME by default).
    using Clock = std::function<std::chrono::nanoseconds()>;
    void setClock(Clock clock);
    // The source of resume notices; a test points it at its own bus.
    ResumeWatcher* resumeWatcher() const { return m_resumeWatcher; }

Q_SIGNALS:
    void isAutoLogoutEnabledChanged();
    void timeoutIntervalChanged();
    void remainingTimeChanged();

private:
    void setRemainingTime(double seconds);
    void handleInactivityTimeout();
    void handleLocalEvent();
    void countdownTick();
    // Logs out when the clock says the timeout has passed although the timer has not fired.
    bool checkElapsed();

    QTimer m_inactivityTimer;
    QTimer m_countdownTimer;
    std::unique_ptr<LocalEventMonitor> m_localEventMonitor;
    std::function<void()> m_onTimeout;
    PreferenceBacked<bool> m_isAutoLogoutEnabled;
    PreferenceBacked<double> m_timeoutInterval;
    double m_remainingTime;
    bool m_isAuthenticated = false;
    Clock m_clock;
    std::chrono::nanoseconds m_lastActivity{0};
    ResumeWatcher* m_resumeWatcher = nullptr;
};
