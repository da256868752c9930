#include "core/lock/InactivityMonitor.h"

#include "core/lock/LocalEventMonitor.h"
#include "core/lock/ResumeWatcher.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <ctime>

namespace {

int toMilliseconds(double seconds)
{
    const double ms = std::round(seconds * 1000.0);
    if (!(ms > 0)) {
        return 0;
    }
    return ms >= double(INT_MAX) ? INT_MAX : int(ms);
}

std::chrono::nanoseconds bootClock()
{
    struct timespec now = {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

InactivityMonitor::InactivityMonitor(QObject* parent)
    : QObject(parent)
    , m_isAutoLogoutEnabled(autoLogoutKey, AppSettings::defaultValue(AppSettings::Key::isAutoLogoutEnabled).toBool())
    , m_timeoutInterval(timeoutKey, AppSettings::defaultValue(AppSettings::Key::logoutTimeout).toDouble())
    , m_remainingTime(m_timeoutInterval.value())
{
    m_inactivityTimer.setSingleShot(true);
    m_inactivityTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_inactivityTimer, &QTimer::timeout, this, &InactivityMonitor::handleInactivityTimeout);
    m_countdownTimer.setInterval(std::chrono::seconds(1));
    connect(&m_countdownTimer, &QTimer::timeout, this, &InactivityMonitor::countdownTick);
    m_clock = &bootClock;
    m_resumeWatcher = new ResumeWatcher(this);
    connect(m_resumeWatcher, &ResumeWatcher::resumed, this, &InactivityMonitor::checkElapsed);
}

InactivityMonitor::~InactivityMonitor() = default;

void InactivityMonitor::setIsAutoLogoutEnabled(bool enabled)
{
    const bool changed = m_isAutoLogoutEnabled.value() != enabled;
    m_isAutoLogoutEnabled.set(enabled);
    if (changed) {
        Q_EMIT isAutoLogoutEnabledChanged();
    }
    if (!enabled) {
        stopMonitoring();
    } else if (m_isAuthenticated) {
        startMonitoring();
    }
}

void InactivityMonitor::setTimeoutInterval(double seconds)
{
    const bool changed = m_timeoutInterval.value() != seconds;
    m_timeoutInterval.set(seconds);
    if (changed) {
        Q_EMIT timeoutIntervalChanged();
    }
    resetTimer();
}

void InactivityMonitor::startMonitoring()
{
    resetTimer();
    m_localEventMonitor.reset();
    m_localEventMonitor = std::make_unique<LocalEventMonitor>([this] { handleLocalEvent(); });
}

void InactivityMonitor::stopMonitoring()
{
    m_localEventMonitor.reset();
    m_inactivityTimer.stop();
    m_countdownTimer.stop();
}

void InactivityMonitor::resetTimer()
{
    if (!m_isAuthenticated || !m_isAutoLogoutEnabled.value()) {
        return;
    }
    m_inactivityTimer.stop();
    m_countdownTimer.stop();
    setRemainingTime(m_timeoutInterval.value());
    m_lastActivity = m_clock();
    m_inactivityTimer.start(toMilliseconds(m_timeoutInterval.value()));
    m_countdownTimer.start();
}

void InactivityMonitor::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(&bootClock);
    m_lastActivity = m_clock();
}

bool InactivityMonitor::checkElapsed()
{
    if (!m_inactivityTimer.isActive())
        return false;
    const double elapsed = std::chrono::duration<double>(m_clock() - m_lastActivity).count();
    if (elapsed < m_timeoutInterval.value())
        return false;
    qCDebug(lcDiagnostics) << "Время бездействия истекло во время сна.";
    m_inactivityTimer.stop();
    handleInactivityTimeout();
    return true;
}

void InactivityMonitor::setRemainingTime(double seconds)
{
    if (m_remainingTime == seconds) {
        return;
    }
    m_remainingTime = seconds;
    Q_EMIT remainingTimeChanged();
}

void InactivityMonitor::handleInactivityTimeout()
{
    m_countdownTimer.stop();
    qCDebug(lcDiagnostics) << "Время бездействия истекло.";
    if (m_onTimeout) {
        m_onTimeout();
    }
}

void InactivityMonitor::handleLocalEvent()
{
    resetTimer();
}

void InactivityMonitor::countdownTick()
{
    if (checkElapsed())
        return;
    if (m_remainingTime > 0) {
        // Never below zero, whatever fraction the interval has.
        setRemainingTime(std::max(0.0, m_remainingTime - 1.0));
    } else {
        m_countdownTimer.stop();
    }
}
