#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Hands edited text out once typing has paused. Every push restarts the wait; only the last value
// of a burst is delivered. flush() delivers a pending value at once, so a host that acts right after
// the last keystroke still reads the complete text.
class TextDebouncer : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultIntervalMs = 500;

    explicit TextDebouncer(QObject* parent = nullptr);

    void push(const QString& text);
    // For secret text: a value let go of is overwritten when nothing else holds it.
    void setSecret(bool secret) { m_secret = secret; }
    void flush();
    void cancel();
    // cancel(), and the held value's characters overwritten where they are (for secret text).
    void wipe();
    bool isPending() const { return m_pending; }

    int interval() const { return m_timer.interval(); }
    void setInterval(int ms) { m_timer.setInterval(ms); }

Q_SIGNALS:
    void delivered(const QString& text);

private:
    QTimer m_timer;
    QString m_value;
    bool m_pending = false;
    bool m_secret = false;
};
