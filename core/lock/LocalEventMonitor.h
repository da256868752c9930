#pragma once

#include <QObject>

#include <functional>

class QEvent;

// Watches the user's activity in this application: calls the handler for each left or right
// mouse press, mouse move without a pressed button, and key press (modifier keys alone do not
// count). Installed on the application for its life; events pass on unchanged.
class LocalEventMonitor : public QObject
{
    Q_OBJECT

public:
    explicit LocalEventMonitor(std::function<void()> handler, QObject* parent = nullptr);
    ~LocalEventMonitor() override;

    // How many monitors are installed in the process.
    static int installedCount();
    static bool isActivity(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_handler;
};
