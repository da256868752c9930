#include "core/lock/InactivityMonitor.h"
#include "core/lock/LocalEventMonitor.h"
#include "core/lock/ResumeWatcher.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QDBusMessage>
#include <QGuiApplication>
#include <QSettings>
#include <QWindow>

using namespace std::chrono_literals;

class TestInactivityMonitor : public QObject
{
    Q_OBJECT

    // Authenticated with automatic logout on: watching.
    static void startWatching(InactivityMonitor& monitor, double timeout)
    {
        monitor.setTimeoutInterval(timeout);
        monitor.setIsAuthenticated(true);
        monitor.setIsAutoLogoutEnabled(true);
    }

    static bool isIdle(const InactivityMonitor& monitor)
    {
        return !monitor.hasLocalEventMonitor() && !monitor.isTimeoutPending() && !monitor.isCountdownRunning();
    }

private Q_SLOTS:
    void init()
    {
        QSettings settings;
        settings.remove(InactivityMonitor::autoLogoutKey);
        settings.remove(InactivityMonitor::timeoutKey);
    }

    void defaultsAreWrittenAtCreation()
    {
        const InactivityMonitor monitor;
        QCOMPARE(monitor.isAutoLogoutEnabled(), false);
        QCOMPARE(monitor.timeoutInterval(), 600.0);
        QCOMPARE(monitor.remainingTime(), 600.0);
        QVERIFY(isIdle(monitor));

        const QSettings settings;
        QCOMPARE(PreferenceStore::storedBool(settings.value(QStringLiteral("isAutoLogoutEnabled"))),
                 std::optional(false));
        QCOMPARE(PreferenceStore::storedDouble(settings.value(QStringLiteral("LogoutTimeout"))), std::optional(600.0));
    }

    void storedValuesAreRead_data()
    {
        QTest::addColumn<QVariant>("storedEnabled");
        QTest::addColumn<QVariant>("storedTimeout");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<double>("timeout");
        QTest::newRow("stored") << QVariant(true) << QVariant(300.0) << true << 300.0;
        QTest::newRow("stored as text") << QVariant(QStringLiteral("true")) << QVariant(QStringLiteral("3600")) << true
                                        << 3600.0;
        QTest::newRow("wrong types") << QVariant(QStringLiteral("ja")) << QVariant(QStringLiteral("zehn")) << false
                                     << 600.0;
    }

    void storedValuesAreRead()
    {
        QFETCH(QVariant, storedEnabled);
        QFETCH(QVariant, storedTimeout);
        QFETCH(bool, enabled);
        QFETCH(double, timeout);
        {
            QSettings settings;
            settings.setValue(InactivityMonitor::autoLogoutKey, storedEnabled);
            settings.setValue(InactivityMonitor::timeoutKey, storedTimeout);
        }
        const InactivityMonitor monitor;
        QCOMPARE(monitor.isAutoLogoutEnabled(), enabled);
        QCOMPARE(monitor.timeoutInterval(), timeout);
        QCOMPARE(monitor.remainingTime(), timeout);
        // Not logged in: stored "on" starts nothing.
        QVERIFY(isIdle(monitor));
        // A value of the wrong type is replaced by the one in use.
        const QSettings settings;
        QCOMPARE(PreferenceStore::storedBool(settings.value(InactivityMonitor::autoLogoutKey)), std::optional(enabled));
        QCOMPARE(PreferenceStore::storedDouble(settings.value(InactivityMonitor::timeoutKey)), std::optional(timeout));
    }

    void settingsAreWrittenBack()
    {
        InactivityMonitor monitor;
        monitor.setIsAutoLogoutEnabled(true);
        monitor.setTimeoutInterval(1800);
        const QSettings settings;
        QCOMPARE(settings.value(InactivityMonitor::autoLogoutKey).toBool(), true);
        QCOMPARE(settings.value(InactivityMonitor::timeoutKey).toDouble(), 1800.0);
    }

    void switchingOnWhileLoggedOutStartsNothing()
    {
        InactivityMonitor monitor;
        monitor.setIsAutoLogoutEnabled(true);
        QVERIFY(isIdle(monitor));
        monitor.setTimeoutInterval(30);
        QVERIFY(isIdle(monitor));

        // The later login starts it.
        monitor.setIsAuthenticated(true);
        monitor.startMonitoring();
        QVERIFY(monitor.hasLocalEventMonitor());
        QVERIFY(monitor.isTimeoutPending());
        QVERIFY(monitor.isCountdownRunning());
    }

    void switchingOnTwiceInstallsOneEventMonitor()
    {
        const int before = LocalEventMonitor::installedCount();
        InactivityMonitor monitor;
        monitor.setIsAuthenticated(true);
        monitor.setIsAutoLogoutEnabled(true);
        monitor.setIsAutoLogoutEnabled(true);
        monitor.startMonitoring();
        QCOMPARE(LocalEventMonitor::installedCount(), before + 1);
        monitor.setIsAutoLogoutEnabled(false);
        QCOMPARE(LocalEventMonitor::installedCount(), before);
        QVERIFY(isIdle(monitor));
    }

    void activityRestartsTheCountdown()
    {
        QWindow window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        InactivityMonitor monitor;
        monitor.setCountdownTickInterval(5ms);
        startWatching(monitor, 3);
        QTRY_COMPARE(monitor.remainingTime(), 0.0);

        QTest::mouseMove(&window, QPoint(30, 30));
        QCOMPARE(monitor.remainingTime(), 3.0);
        QVERIFY(monitor.isCountdownRunning());

        QTRY_VERIFY(monitor.remainingTime() < 3.0);
        QTest::keyClick(&window, Qt::Key_A);
        QCOMPARE(monitor.remainingTime(), 3.0);

        // Pressing a modifier alone is no activity.
        QTRY_VERIFY(monitor.remainingTime() < 3.0);
        QTest::keyClick(&window, Qt::Key_Shift);
        QVERIFY(monitor.remainingTime() < 3.0);

        // Logged out: events no longer count.
        monitor.setIsAuthenticated(false);
        monitor.stopMonitoring();
        const double left = monitor.remainingTime();
        QTest::mouseMove(&window, QPoint(40, 40));
        QCOMPARE(monitor.remainingTime(), left);
    }

    void countdownStopsAtZero()
    {
        InactivityMonitor monitor;
        monitor.setCountdownTickInterval(5ms);
        startWatching(monitor, 2.5);
        QTRY_VERIFY(!monitor.isCountdownRunning());
        QCOMPARE(monitor.remainingTime(), 0.0);
        QVERIFY(monitor.isTimeoutPending());
    }

    void timeoutCallsOnTimeoutOnceAndStopsTheCountdown()
    {
        InactivityMonitor monitor;
        int timeouts = 0;
        monitor.setOnTimeout([&] { ++timeouts; });
        startWatching(monitor, 0.05);
        QVERIFY(monitor.isCountdownRunning());

        QTRY_COMPARE(timeouts, 1);
        QVERIFY(!monitor.isCountdownRunning());
        QVERIFY(!monitor.isTimeoutPending());
        QCOMPARE(monitor.remainingTime(), 0.05);
        // The event monitor stays until the owner logs out.
        QVERIFY(monitor.hasLocalEventMonitor());
    }

    void logoutOnTimeoutLeavesTheMonitorIdle()
    {
        InactivityMonitor monitor;
        monitor.setOnTimeout([&] {
            monitor.setIsAuthenticated(false);
            monitor.stopMonitoring();
        });
        startWatching(monitor, 0.01);
        QTRY_VERIFY(isIdle(monitor));
        QVERIFY(!monitor.isAuthenticated());
    }

    void newTimeoutRestartsTheTimers()
    {
        InactivityMonitor monitor;
        monitor.setCountdownTickInterval(5ms);
        startWatching(monitor, 5);
        QTRY_VERIFY(monitor.remainingTime() < 5.0);
        QSignalSpy changed(&monitor, &InactivityMonitor::timeoutIntervalChanged);
        monitor.setTimeoutInterval(7);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(monitor.remainingTime(), 7.0);
        QVERIFY(monitor.isTimeoutPending());
        QVERIFY(monitor.isCountdownRunning());
    }

    void newTimeoutWhileLoggedOutStartsNothing()
    {
        InactivityMonitor monitor;
        monitor.setIsAutoLogoutEnabled(true);
        monitor.setTimeoutInterval(60);
        QVERIFY(isIdle(monitor));
        QCOMPARE(monitor.remainingTime(), 600.0);
    }

    void stopOnAnIdleMonitorIsHarmless()
    {
        InactivityMonitor monitor;
        monitor.stopMonitoring();
        monitor.stopMonitoring();
        monitor.resetTimer();
        QVERIFY(isIdle(monitor));
        QCOMPARE(monitor.remainingTime(), 600.0);
    }

    void resumeAfterSuspend_data()
    {
        QTest::addColumn<double>("asleep");
        QTest::addColumn<bool>("viaSignal");
        QTest::addColumn<bool>("loggedOut");
        QTest::newRow("asleep past the timeout, next countdown step") << 61.0 << false << true;
        QTest::newRow("asleep past the timeout, resume signal") << 61.0 << true << true;
        QTest::newRow("asleep shorter than the timeout") << 30.0 << false << false;
    }

    // Timers stand still during suspend; the time asleep still counts as inactivity.
    void resumeAfterSuspend()
    {
        QFETCH(double, asleep);
        QFETCH(bool, viaSignal);
        QFETCH(bool, loggedOut);
        std::chrono::nanoseconds now = std::chrono::hours(1);
        InactivityMonitor monitor;
        monitor.setClock([&now] { return now; });
        int timeouts = 0;
        monitor.setOnTimeout([&] { ++timeouts; });
        // With the signal, no countdown step comes in time to notice.
        monitor.setCountdownTickInterval(viaSignal ? std::chrono::milliseconds(std::chrono::hours(1)) : 5ms);

        PrivateBus bus;
        QDBusConnection sender(QStringLiteral("resume-sender"));
        if (viaSignal) {
            QVERIFY(bus.isRunning());
            const QDBusConnection watched = QDBusConnection::connectToBus(bus.address(), QStringLiteral("resume"));
            QVERIFY(monitor.resumeWatcher()->watch(watched));
            sender = QDBusConnection::connectToBus(bus.address(), QStringLiteral("resume-sender"));
            QVERIFY(sender.isConnected());
        }
        startWatching(monitor, 60);

        // The machine sleeps; the timers do not move meanwhile.
        now += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(asleep));
        if (viaSignal) {
            for (const bool sleeping : {true, false}) {
                QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                                 QStringLiteral("PrepareForSleep"));
                signal << sleeping;
                QVERIFY(sender.send(signal));
            }
        }
        if (loggedOut) {
            QTRY_COMPARE(timeouts, 1);
            QVERIFY(!monitor.isTimeoutPending());
            QVERIFY(!monitor.isCountdownRunning());
        } else {
            QSignalSpy steps(&monitor, &InactivityMonitor::remainingTimeChanged);
            QTRY_VERIFY(steps.count() >= 3);
            QCOMPARE(timeouts, 0);
            QVERIFY(monitor.isTimeoutPending());
        }
        if (viaSignal) {
            QDBusConnection::disconnectFromBus(QStringLiteral("resume"));
            QDBusConnection::disconnectFromBus(QStringLiteral("resume-sender"));
        }
    }

    void switchingOffStopsWatching()
    {
        InactivityMonitor monitor;
        startWatching(monitor, 60);
        QVERIFY(monitor.hasLocalEventMonitor());
        monitor.setIsAutoLogoutEnabled(false);
        QVERIFY(isIdle(monitor));
        QCOMPARE(QSettings().value(InactivityMonitor::autoLogoutKey).toBool(), false);
    }
};

TARN_TEST_MAIN_WITH(TestInactivityMonitor, QGuiApplication)
#include "TestInactivityMonitor.moc"
