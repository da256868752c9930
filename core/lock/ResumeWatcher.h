#pragma once

#include <QDBusConnection>
#include <QObject>

// Reports when the machine wakes from suspend, from logind's PrepareForSleep signal on the
// system bus. The bus is reached off the GUI thread; without a system bus or logind nothing is
// ever reported, and callers must not rely on it alone.
class ResumeWatcher : public QObject
{
    Q_OBJECT

public:
    explicit ResumeWatcher(QObject* parent = nullptr);

    // Watches the signal on this bus instead (a test's private bus); the bus must be connected.
    bool watch(const QDBusConnection& bus);
    bool isWatching() const { return m_watching; }

Q_SIGNALS:
    void resumed();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    bool m_watching = false;
};
