#include "core/credentials/PasswordViewModel.h"

#include "platform/Diagnostics.h"

#include <QTextBoundaryFinder>

#include <algorithm>

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
    const QList<uint> codePoints = text.toUcs4();
    return std::all_of(codePoints.cbegin(), codePoints.cend(),
                       [](uint codePoint) { return isLetterOrDigit(char32_t(codePoint)); });
}

} // namespace

PasswordViewModel::PasswordViewModel(const PasswordModel& model, QObject* parent)
    : QObject(parent)
    , m_key(model.key)
    , m_keychainService(model.service)
    , m_text(model.text)
    , m_isTouchID(model.isTouchID)
{
    if (m_isTouchID) {
        setUseTouchID(m_keychainService.getBool(touchIDKey));
    }
}

Result<void, PasswordValidationError> PasswordViewModel::validateAndSave()
{
    if (characterCount(m_password1) < 4) {
        return fail(PasswordValidationError::passwordTooWeak);
    }
    if (m_password1.contains(QLatin1Char(' '))) {
        return fail(PasswordValidationError::passwordContainsSpaces);
    }
    if (!hasOnlyLettersAndDigits(m_password1)) {
        return fail(PasswordValidationError::passwordInvalidCharacters);
    }
    if (m_password1 != m_password2) {
        return fail(PasswordValidationError::passwordsDoNotMatch);
    }
    if (!m_isTouchID) {
        // A password that cannot be read counts as none stored.
        const auto existing = m_keychainService.getString(rawValue(m_key));
        if (existing && existing->has_value()) {
            return fail(PasswordValidationError::existingPasswordNeedsOverride);
        }
    }
    return savePassword();
}

Result<void, PasswordValidationError> PasswordViewModel::savePassword()
{
    const auto written = m_keychainService.set(m_password1, rawValue(m_key));
    if (!written) {
        return fail(PasswordValidationError::keychain(written.error().message));
    }
    qCDebug(lcDiagnostics) << "Пароль сохранён:" << rawValue(m_key);
    setWarningText(savedText);
    return {};
}

Result<void, PasswordValidationError> PasswordViewModel::deletePassword()
{
    if (!m_keychainService.remove(rawValue(m_key))) {
        return fail(PasswordValidationError::passwordCannotBeDeleted);
    }
    qCDebug(lcDiagnostics) << "Пароль удалён:" << rawValue(m_key);
    setWarningText(removedText);
    return {};
}

void PasswordViewModel::setPassword1(const QString& value)
{
    if (m_password1 == value) {
        return;
    }
    m_password1 = value;
    Q_EMIT password1Changed();
}

void PasswordViewModel::setPassword2(const QString& value)
{
    if (m_password2 == value) {
        return;
    }
    m_password2 = value;
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
