#pragma once

#include <QString>

// Why a call to the desktop's secret store failed. The detail is the system's own description.
struct SecretStoreError
{
    enum Code {
        locked, // the keyring stayed locked: its unlock prompt was dismissed or could not be shown
        noSessionBus,
        noService, // no Secret Service runs on the session bus
        timedOut,
        outcomeUnknown, // a change timed out and could not be read back
        notText, // the stored bytes are not UTF-8
        noDefaultKeyring,
        failed, // any other refusal of the store
    };

    Code code = failed;
    QString detail;

    // The German text shown to the user: what happened and what to do, short enough for one line.
    QString summary() const;
    // The summary; for `failed`, the system's description follows it.
    QString message() const;
    // The case name, for diagnostics and test output.
    static const char* name(Code code);
};
