#pragma once

#include <QMetaType>
#include <QString>

// Why a check or a download of an update did not complete. The detail is for the diagnostics only.
struct UpdateError
{
    enum Code {
        notConfigured, // no feed address in this build
        networkFailure, // the server cannot be reached
        timedOut, // the server stayed silent, was too slow or took longer than the request's deadline
        notFound, // HTTP 404 or 410
        serverError, // HTTP 5xx
        requestRefused, // any other HTTP 4xx
        tooManyRedirects,
        brokenOff, // the connection ended before the body was complete
        insecureAddress, // plain http to another machine
        redirectToOtherScheme,
        feedTooLarge,
        malformedFeed,
        noPublicKey, // no valid key to verify downloads with
        lengthMismatch,
        badSignature,
        fileError,
        fileUnreadable, // the saved bytes could not be read back for the signature check
        cancelled,
    };

    Code code = networkFailure;
    QString detail;
    // The HTTP status of notFound, serverError and requestRefused.
    int httpStatus = 0;

    // The German text shown to the user.
    QString message() const;
    // " (HTTP <status>)", or nothing without a status.
    QString statusText() const;
    // The case name, for diagnostics and test output.
    static const char* name(Code code);
};

Q_DECLARE_METATYPE(UpdateError)
