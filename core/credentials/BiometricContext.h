#pragma once

#include <QDBusConnection>
#include <QFuture>
#include <QObject>
#include <QString>

class FingerprintReader;

// One biometric check of the device owner, made fresh for each use: whether the check can be
// made now, and the check itself. On this platform the biometric device is the fingerprint reader.
class BiometricContext : public QObject
{
    Q_OBJECT

public:
    // The reason the login gives for unlocking with a finger.
    static inline const QString unlockReason = QStringLiteral("Entsperre die App mit Touch ID");

    explicit BiometricContext(QObject* parent = nullptr);
    explicit BiometricContext(const QDBusConnection& bus, QObject* parent = nullptr);
    ~BiometricContext() override;

    // Whether a reader is present and the user has enrolled fingers, without blocking the caller;
    // the future finishes on this object's thread within the reader's deadline. cancel() and the end of this object
    // cancel it instead: its continuations do not run, and a late reply is dropped.
    QFuture<bool> canEvaluatePolicyAsync() const;
    // Starts the check; evaluated follows exactly once, on this object's thread, after this call
    // returns. A check that does not succeed, cancellation and every error included, is a failure.
    void evaluatePolicy(const QString& localizedReason);
    // Ends a running check as a failure (evaluated(false)) and cancels running availability
    // checks. A reply that arrives later is never reported.
    void cancel();
    bool isEvaluating() const { return m_evaluating; }
    // The reason given to the running check, for the screen to show.
    QString localizedReason() const { return m_localizedReason; }

Q_SIGNALS:
    void evaluated(bool success);

private:
    FingerprintReader* m_reader;
    QString m_localizedReason;
    bool m_evaluating = false;
};

// Whether the biometric login can be offered now, without blocking the caller; call it on a thread
// with an event loop (the GUI thread).
QFuture<bool> isTouchIDAvailableAsync();
