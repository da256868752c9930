#pragma once

#include <QMetaType>
#include <QString>

// Why a check or a download of an update did not complete. The detail is for the diagnostics only.
struct UpdateError
{
    enum Code {
        notConfigured, // no feed address in this build
        networkFailure,
        timedOut, // the server took longer than the request's deadline
        insecureAddress, // plain http to another machine
        redirectToOtherScheme,
        feedTooLarge,
        malformedFeed,
        noPublicKey, // no valid key to verify downloads with
        lengthMismatch,
        badSignature,
        fileError,
        cancelled,
    };

    Code code = networkFailure;
    QString detail;

    // The German text shown to the user.
    QString message() const;
    // The case name, for diagnostics and test output.
    static const char* name(Code code);
};

Q_DECLARE_METATYPE(UpdateError)
