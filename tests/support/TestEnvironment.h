#pragma once

#include <QTemporaryDir>

#include <memory>

class PrivateKeyring;

// What every test executable runs in, however it is started (ctest, the binary itself, a script):
// a fresh temporary HOME with its XDG folders, a private runtime folder, a UTF-8 locale, the headless
// screen, the diagnostics switched on, and no way to the user's session bus, display or keyring.
// Made before the application object exists.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString home() const;

    // Starts a keyring of the executable's own on a private session bus and makes it the session's,
    // so that no test reads or writes the user's keyring items. Needs the application object.
    void startPrivateSession();
    // Ends it while the application object still exists.
    void endPrivateSession();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PrivateKeyring> m_keyring;
};
