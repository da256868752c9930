#pragma once

#include "tests/support/PrivateDisplay.h"
#include "tests/support/PrivateKeyring.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// gnome-keyring's unlock prompt (the window of gcr-prompter) on a private display, found and
// answered with xdotool as a user at the keyboard would.
class KeyringPrompt
{
public:
    explicit KeyringPrompt(const PrivateDisplay& display)
        : m_display(display)
    {
    }

    // The prompt windows on screen now.
    int count() const;
    // Runs the event loop until a prompt window shows, at most `timeoutMs`.
    bool waitForWindow(int timeoutMs = 20000) const;
    // Runs the event loop until no prompt window shows, at most `timeoutMs`.
    bool waitUntilGone(int timeoutMs = 20000) const;

    // Types the password into the shown prompt and presses Return.
    bool answer(const QByteArray& password) const;
    // Presses Escape in the shown prompt.
    bool dismiss() const;

private:
    QStringList windows() const;
    // Focuses the first prompt window and runs xdotool with `input`.
    bool press(const QStringList& input) const;

    const PrivateDisplay& m_display;
};

// Starts an X server, a keyring of its own whose unlock prompt shows there, and the prompt's driver,
// and makes the keyring's bus the process's session bus. Release them in the reverse order.
bool startPromptingKeyring(std::unique_ptr<PrivateDisplay>& display, std::unique_ptr<PrivateKeyring>& keyring,
                           std::unique_ptr<KeyringPrompt>& prompt);
