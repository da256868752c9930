#pragma once

#include "core/archive/PasswordValidationError.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordModel.h"
#include "platform/Result.h"

#include <QFuture>
#include <QObject>
#include <QString>

#include <optional>

// The model of one password settings tab: the two entries, the password rules, and writing
// or removing the password in the credential store. Each store operation has an asynchronous form
// for the GUI thread: the store is used off the calling thread, the model's own state changes on
// its thread before the returned future finishes, and a model destroyed first leaves the future
// cancelled.
class PasswordViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString password1 READ password1 WRITE setPassword1 NOTIFY password1Changed)
    Q_PROPERTY(QString password2 READ password2 WRITE setPassword2 NOTIFY password2Changed)
    Q_PROPERTY(std::optional<PasswordValidationError> validationError READ validationError WRITE setValidationError
                   NOTIFY validationErrorChanged)
    Q_PROPERTY(std::optional<QString> warningText READ warningText WRITE setWarningText NOTIFY warningTextChanged)
    Q_PROPERTY(bool isMaskedPassword READ isMaskedPassword WRITE setIsMaskedPassword NOTIFY isMaskedPasswordChanged)
    Q_PROPERTY(bool showTextFields READ showTextFields WRITE setShowTextFields NOTIFY showTextFieldsChanged)
    Q_PROPERTY(bool useTouchID READ useTouchID WRITE setUseTouchID NOTIFY useTouchIDChanged)

public:
    // The key of the Touch ID flag in the credential store.
    static inline const QString touchIDKey = QStringLiteral("useTouchID");
    static inline const QString savedText = QStringLiteral("Das Passwort wurde erfolgreich gespeichert!");
    static inline const QString removedText = QStringLiteral("Das Passwort wurde erfolgreich entfernt!");
    // The most characters (user-perceived) a password entry keeps.
    static constexpr int characterLimit = 100;

    using Outcome = Result<void, PasswordValidationError>;

    // Reads nothing: the Touch ID flag comes through loadTouchIDAsync().
    explicit PasswordViewModel(const PasswordModel& model, QObject* parent = nullptr);
    // Overwrites the entries that this model alone holds.
    ~PasswordViewModel() override;

    ModelType key() const { return m_key; }
    void setKey(ModelType key) { m_key = key; }
    const KeychainService& keychainService() const { return m_keychainService; }
    QString text() const { return m_text; }
    void setText(const QString& text) { m_text = text; }
    bool isTouchID() const { return m_isTouchID; }
    void setIsTouchID(bool isTouchID) { m_isTouchID = isTouchID; }

    QString password1() const { return m_password1; }
    void setPassword1(const QString& value);
    QString password2() const { return m_password2; }
    void setPassword2(const QString& value);
    // Empties both entries, overwriting the copies this model alone holds.
    void clearEntries();
    std::optional<PasswordValidationError> validationError() const { return m_validationError; }
    void setValidationError(const std::optional<PasswordValidationError>& value);
    std::optional<QString> warningText() const { return m_warningText; }
    void setWarningText(const std::optional<QString>& value);
    bool isMaskedPassword() const { return m_isMaskedPassword; }
    void setIsMaskedPassword(bool value);
    bool showTextFields() const { return m_showTextFields; }
    void setShowTextFields(bool value);
    bool useTouchID() const { return m_useTouchID; }
    void setUseTouchID(bool value);

    // Whether a password is stored under the key, or the store's failure.
    QFuture<Result<bool, SecretStoreError>> storedStateAsync() const;
    // The same, with a failed read counted as none.
    QFuture<bool> isPasswordStoredAsync() const;
    // Reads the Touch ID flag into useTouchID when the model carries the Touch ID choice; the
    // archive model reads nothing and gives false.
    QFuture<bool> loadTouchIDAsync();
    // Applies the rules to password1 (and its repetition) in order, asks before an existing
    // archive password is replaced, then saves. The first failure is the outcome; nothing is
    // written. An archive password that cannot be read counts as none, unless the keyring stayed
    // locked. The rules answer at once, the existence check and the write run off the thread.
    QFuture<Outcome> validateAndSaveAsync();
    // Writes password1 without any rule.
    QFuture<Outcome> savePasswordAsync();
    // Removes the stored password; none stored is a success.
    QFuture<Outcome> deletePasswordAsync();
    // Replaces the Touch ID flag: a flag that the store did not take is a keychainError.
    QFuture<Outcome> storeTouchIDAsync(bool value) const;

Q_SIGNALS:
    void password1Changed();
    void password2Changed();
    void validationErrorChanged();
    void warningTextChanged();
    void isMaskedPasswordChanged();
    void showTextFieldsChanged();
    void useTouchIDChanged();

private:
    // The first rule that password1 and its repetition break.
    std::optional<PasswordValidationError> ruleFailure() const;
    // password1 as the store takes it.
    SharedSecret entry() const;
    // The success text once the write has finished.
    QFuture<Outcome> finishSave(const QFuture<Outcome>& written);

    ModelType m_key;
    const KeychainService m_keychainService;
    QString m_text;
    bool m_isTouchID;
    QString m_password1;
    QString m_password2;
    std::optional<PasswordValidationError> m_validationError;
    std::optional<QString> m_warningText;
    bool m_isMaskedPassword = true;
    bool m_showTextFields = false;
    bool m_useTouchID = false;
};
