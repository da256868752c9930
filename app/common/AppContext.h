#pragma once

#include <QObject>

class InactivityMonitor;
class QWidget;
class Updater;
class UpdaterDelegate;

// What the screens need of the application: the authentication flag, the lock item, the inactivity
// logout and its pause during backup work, the updater, the settings window and the main window's
// shake. The application delegate implements it; screens never reach the shell directly.
class AppContext : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated WRITE setIsAuthenticated NOTIFY isAuthenticatedChanged)

public:
    using QObject::QObject;

    virtual bool isAuthenticated() const = 0;
    // Every write counts, also of an unchanged value.
    virtual void setIsAuthenticated(bool authenticated) = 0;
    // Whether the login may start a fingerprint check by itself (once per launch).
    virtual bool isTouchIdOnAppear() const = 0;
    virtual void setIsTouchIdOnAppear(bool value) = 0;

    virtual InactivityMonitor* inactivityMonitor() const = 0;
    virtual Updater* updater() const = 0;
    virtual UpdaterDelegate* updaterDelegate() const = 0;

    // The toolbar's lock item follows whether an app password is stored.
    virtual void showLockButton() = 0;
    virtual void hideLockButton() = 0;
    // Backup work in progress: while any runs, an inactivity timeout does not log out.
    virtual void beginBackgroundWork() = 0;
    virtual void endBackgroundWork() = 0;
    virtual void openSettings() = 0;
    // Shakes the window that shows the view (a wrong password).
    virtual void shakeWindow(QWidget* view) = 0;

Q_SIGNALS:
    void isAuthenticatedChanged(bool authenticated);
};
