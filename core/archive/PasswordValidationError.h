#pragma once

#include <QString>

// The failure value of the password rules and of credential-store writes and removals,
// each case with its German user message.
struct PasswordValidationError
{
    enum Code {
        keychainError, // carries the store's own description
        passwordsDoNotMatch,
        passwordTooWeak,
        passwordContainsSpaces,
        passwordInvalidCharacters,
        passwordNotSaved,
        unknownError,
        existingPasswordNeedsOverride,
        passwordCannotBeDeleted,
    };

    PasswordValidationError(Code c)
        : code(c)
    {
    }
    static PasswordValidationError keychain(QString message)
    {
        PasswordValidationError e(keychainError);
        e.keychainMessage = std::move(message);
        return e;
    }

    Code code;
    QString keychainMessage; // only for keychainError

    // The identity used by item-driven alerts: the case name, or "keychainError:" + message.
    QString id() const;
    QString errorDescription() const;

    friend bool operator==(const PasswordValidationError& a, const PasswordValidationError& b)
    {
        return a.code == b.code && a.keychainMessage == b.keychainMessage;
    }
};
