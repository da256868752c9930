#include "core/credentials/PasswordViewModel.h"

#include "core/credentials/PasswordDigest.h"

#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

#include <QTextBoundaryFinder>
#include <QtConcurrent>

#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace {

// User-perceived characters, not code units.
qsizetype characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

// Letters (with their combining marks) and decimal digits of every script.
bool isLetterOrDigit(char32_t codePoint)
{
    switch (QChar::category(codePoint)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
        return true;
    default:
        return false;
    }
}

bool hasOnlyLettersAndDigits(const QString& text)
{
    QList<uint> codePoints = text.toUcs4();
    const bool only = std::all_of(codePoints.cbegin(), codePoints.cend(),
                                  [](uint codePoint) { return isLetterOrDigit(char32_t(codePoint)); });
    // The code points are the password too.
    explicit_bzero(codePoints.data(), size_t(codePoints.size()) * sizeof(uint));
    return only;
}

// What the existence check before replacing an archive password makes of the store's answer: a
// stored password needs the user's consent. A password that cannot be read counts as none stored,
// except in a keyring that stayed locked: its password is there, and the write would ask to unlock
// once more and then replace it unasked.
std::optional<PasswordViewModel::Outcome> existingCheck(const Result<bool, SecretStoreError>& stored)
{
    if (stored && *stored) {
        return PasswordViewModel::Outcome(
            fail(PasswordValidationError(PasswordValidationError::existingPasswordNeedsOverride)));
    }
    if (!stored && stored.error().code == SecretStoreError::locked) {
        return PasswordViewModel::Outcome(fail(PasswordValidationError::keychain(stored.error().message())));
    }
    return std::nullopt;
}

Result<bool, SecretStoreError> storedState(const Result<std::optional<PasswordDigest>, SecretStoreError>& digest)
{
    if (!digest) {
        return fail(digest.error());
    }
    return digest->has_value();
}

PasswordViewModel::Outcome writePassword(const KeychainService& store, const SharedSecret& password, const QString& key)
{
    const auto written = store.setSecret(password, key);
    if (!written) {
        return fail(PasswordValidationError::keychain(written.error().message()));
    }
    return {};
}

// Finishes the returned future on context's thread, after apply has seen the result of work; it is
// cancelled when context is destroyed first.
template <typename T>
QFuture<T> finishOn(QObject* context, const QFuture<T>& work, std::function<void(const T&)> apply)
{
    return continueOn(context, work, [apply = std::move(apply)](const T& result) {
        apply(result);
        return result;
    });
}

} // namespace

PasswordViewModel::PasswordViewModel(const PasswordModel& model, QObject* parent)
    : QObject(parent)
    , m_key(model.key)
    , m_keychainService(model.service)
    , m_text(model.text)
    , m_isTouchID(model.isTouchID)
{
}

std::optional<PasswordValidationError> PasswordViewModel::ruleFailure() const
{
    if (characterCount(m_password1) < 4) {
        return PasswordValidationError::passwordTooWeak;
    }
    if (m_password1.contains(QLatin1Char(' '))) {
        return PasswordValidationError::passwordContainsSpaces;
    }
    if (!hasOnlyLettersAndDigits(m_password1)) {
        return PasswordValidationError::passwordInvalidCharacters;
    }
    if (m_password1 != m_password2) {
        return PasswordValidationError::passwordsDoNotMatch;
    }
    return std::nullopt;
}

QFuture<Result<bool, SecretStoreError>> PasswordViewModel::storedStateAsync() const
{
    return m_keychainService.getDigestAsync(rawValue(m_key)).then(storedState);
}

QFuture<bool> PasswordViewModel::isPasswordStoredAsync() const
{
    return storedStateAsync().then([](const Result<bool, SecretStoreError>& stored) { return stored && *stored; });
}

QFuture<bool> PasswordViewModel::loadTouchIDAsync()
{
    if (!m_isTouchID) {
        return QtFuture::makeReadyFuture(false);
    }
    return finishOn<bool>(this, m_keychainService.getBoolAsync(touchIDKey), [this](bool flag) { setUseTouchID(flag); });
}

QFuture<PasswordViewModel::Outcome> PasswordViewModel::validateAndSaveAsync()
{
    if (const auto failure = ruleFailure()) {
        return QtFuture::makeReadyFuture(Outcome(fail(*failure)));
    }
    const KeychainService store = m_keychainService;
    const QString key = rawValue(m_key);
    const SharedSecret password = entry();
    QFuture<Outcome> written;
    if (m_isTouchID) {
        written = QtConcurrent::run([store, key, password] { return writePassword(store, password, key); });
    } else {
        written = store.getDigestAsync(key).then(
            [store, key, password](const Result<std::optional<PasswordDigest>, SecretStoreError>& existing) -> Outcome {
                if (const auto refused = existingCheck(storedState(existing))) {
                    return *refused;
                }
                return writePassword(store, password, key);
            });
    }
    return finishSave(written);
}

QFuture<PasswordViewModel::Outcome> PasswordViewModel::savePasswordAsync()
{
    const KeychainService store = m_keychainService;
    const QString key = rawValue(m_key);
    const SharedSecret password = entry();
    return finishSave(QtConcurrent::run([store, key, password] { return writePassword(store, password, key); }));
}

QFuture<PasswordViewModel::Outcome> PasswordViewModel::finishSave(const QFuture<Outcome>& written)
{
    return finishOn<Outcome>(this, written, [this](const Outcome& outcome) {
        if (outcome) {
            qCDebug(lcDiagnostics) << "Пароль сохранён:" << rawValue(m_key);
            setWarningText(savedText);
        }
    });
}

QFuture<PasswordViewModel::Outcome> PasswordViewModel::deletePasswordAsync()
{
    const QString key = rawValue(m_key);
    const QFuture<Outcome> removed =
        m_keychainService.removeAsync(key).then([](const Result<void, SecretStoreError>& result) -> Outcome {
            if (!result) {
                return fail(PasswordValidationError::passwordCannotBeDeleted);
            }
            return {};
        });
    return finishOn<Outcome>(this, removed, [this, key](const Outcome& outcome) {
        if (outcome) {
            qCDebug(lcDiagnostics) << "Пароль удалён:" << key;
            setWarningText(removedText);
        }
    });
}

QFuture<PasswordViewModel::Outcome> PasswordViewModel::storeTouchIDAsync(bool value) const
{
    return m_keychainService.setBoolAsync(value, touchIDKey).then([](bool stored) -> Outcome {
        if (!stored) {
            return fail(
                PasswordValidationError::keychain(QStringLiteral("Die Touch-ID-Einstellung wurde nicht gespeichert.")));
        }
        return {};
    });
}

SharedSecret PasswordViewModel::entry() const
{
    return std::make_shared<const SecretBytes>(SecretBytes::fromText(m_password1));
}

PasswordViewModel::~PasswordViewModel()
{
    cleanseText(m_password1);
    cleanseText(m_password2);
}

void PasswordViewModel::clearEntries()
{
    // Characters shared with a field are the field's to overwrite; it does so as it goes.
    if (!m_password1.isEmpty()) {
        cleanseText(m_password1);
        Q_EMIT password1Changed();
    }
    if (!m_password2.isEmpty()) {
        cleanseText(m_password2);
        Q_EMIT password2Changed();
    }
}

void PasswordViewModel::setPassword1(const QString& value)
{
    if (m_password1 == value) {
        return;
    }
    // The entry let go of is overwritten when nothing else holds it.
    QString previous = std::exchange(m_password1, value);
    cleanseText(previous);
    Q_EMIT password1Changed();
}

void PasswordViewModel::setPassword2(const QString& value)
{
    if (m_password2 == value) {
        return;
    }
    QString previous = std::exchange(m_password2, value);
    cleanseText(previous);
    Q_EMIT password2Changed();
}

void PasswordViewModel::setValidationError(const std::optional<PasswordValidationError>& value)
{
    if (m_validationError == value) {
        return;
    }
    m_validationError = value;
    Q_EMIT validationErrorChanged();
}

void PasswordViewModel::setWarningText(const std::optional<QString>& value)
{
    if (m_warningText == value) {
        return;
    }
    m_warningText = value;
    Q_EMIT warningTextChanged();
}

void PasswordViewModel::setIsMaskedPassword(bool value)
{
    if (m_isMaskedPassword == value) {
        return;
    }
    m_isMaskedPassword = value;
    Q_EMIT isMaskedPasswordChanged();
}

void PasswordViewModel::setShowTextFields(bool value)
{
    if (m_showTextFields == value) {
        return;
    }
    m_showTextFields = value;
    Q_EMIT showTextFieldsChanged();
}

void PasswordViewModel::setUseTouchID(bool value)
{
    if (m_useTouchID == value) {
        return;
    }
    m_useTouchID = value;
    Q_EMIT useTouchIDChanged();
}
