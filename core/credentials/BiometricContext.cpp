#include "core/credentials/BiometricContext.h"

#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"
#include "platform/fingerprint/FingerprintReader.h"

BiometricContext::BiometricContext(QObject* parent)
    : BiometricContext(FingerprintReader::defaultConnection(), parent)
{
}

BiometricContext::BiometricContext(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_reader(new FingerprintReader(bus, this))
{
    connect(m_reader, &FingerprintReader::verificationFinished, this, [this](bool matched) {
        if (!m_evaluating) {
            return;
        }
        m_evaluating = false;
        Q_EMIT evaluated(matched);
    });
}

BiometricContext::~BiometricContext()
{
    m_reader->cancelAvailabilityChecks();
}

QFuture<bool> BiometricContext::canEvaluatePolicyAsync() const
{
    return m_reader->checkAvailability();
}

void BiometricContext::evaluatePolicy(const QString& localizedReason)
{
    if (m_evaluating) {
        return;
    }
    m_evaluating = true;
    m_localizedReason = localizedReason;
    qCDebug(lcDiagnostics) << "Биометрическая проверка:" << localizedReason;
    // The reader answers asynchronously, a refusal included.
    m_reader->verify();
}

void BiometricContext::cancel()
{
    m_reader->cancelAvailabilityChecks();
    m_reader->cancel();
}

QFuture<bool> isTouchIDAvailableAsync()
{
    // The context lives until its check has ended, whichever way; a cancelled check answers false.
    auto* context = new BiometricContext;
    return continueOn(
        context, context->canEvaluatePolicyAsync(),
        [context](bool available) {
            context->deleteLater();
            return available;
        },
        false);
}
