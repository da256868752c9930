#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>

// What the GUI benchmarks measure on the GUI thread.
namespace GuiStall {

// Notes the largest delay between two ticks of a 10 ms timer, beyond the 10 ms.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { m_worst = qMax(m_worst, m_clock.restart() - 10); });
    }

    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_timer.start();
    }

    qint64 stop()
    {
        m_timer.stop();
        return m_worst;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worst = 0;
};

// Runs the event loop until the condition holds (checked every 5 ms) or the time is up.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace GuiStall
