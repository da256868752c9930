#pragma once

#include "app/common/AppPassword.h"
#include "kit/theme/Binding.h"

#include <QColor>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

class AppContext;
class BiometricContext;
class LockImageView;
class PasswordFieldFrame;
class QLabel;
class SecureInputView;
class TrendyButtonHelper;

// The login screen: the app password typed and confirmed with Return, or a fingerprint when the user
// enabled it. A typed password is compared only with a password the credential store returned; while
// the store has not answered, Return waits for its answer, and after a failure Return asks it again.
// A fingerprint check ends when the screen goes away, and its late reply is ignored.
class PasswordEntryView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor imgBgColor READ imgBgColor WRITE setImgBgColor)
    Q_PROPERTY(QColor txtBgColor READ txtBgColor WRITE setTxtBgColor)

public:
    static inline const QString wrongPasswordText = QStringLiteral("Du hast ein falsches Passwort eingegeben.");
    static inline const QString touchIdFailedText =
        QStringLiteral("Die biometrische Authentifizierung ist fehlgeschlagen");
    static inline const QString touchIdUnavailableText =
        QStringLiteral("Touch ID ist auf diesem Gerät nicht verfügbar");
    static inline const QString placeholderText = QStringLiteral("Master-Passwort eingeben");
    // The warning when the stored app password's item holds no text.
    static QString damagedItemText();

    // What the credential store said about the app password.
    enum class StoredPassword { unknown, none, present, failed };

    PasswordEntryView(AppContext* appContext, Binding<bool> isAuthenticated,
                      Binding<std::optional<QString>> warningText, QWidget* parent = nullptr);
    ~PasswordEntryView() override;

    // Return in the field.
    void submitPassword();
    // The fingerprint button, and the automatic check once per launch.
    void authenticateWithTouchID();
    // Reads the app password (once at a time) and, when one is stored, the fingerprint choice. A
    // locked keyring shows its unlock prompt, unless `prompt` says so after a dismissed one.
    void loadStoredCredentials(AppPassword::Prompt prompt = AppPassword::Prompt::always);
    // Shakes the window and shows the warning for a while.
    void showWarning(const QString& text);

    StoredPassword storedPassword() const { return m_storedPassword; }
    bool isTouchID() const { return m_isTouchID; }
    bool isEvaluatingTouchID() const;

    QColor imgBgColor() const;
    void setImgBgColor(const QColor& color);
    QColor txtBgColor() const;
    void setTxtBgColor(const QColor& color);
    static QColor defaultImgBgColor();
    static QColor defaultTxtBgColor();
    static QColor wrongEntryColor();

    SecureInputView* passwordField() const { return m_field; }
    PasswordFieldFrame* fieldFrame() const { return m_fieldFrame; }
    TrendyButtonHelper* touchIdButton() const { return m_touchIdButton; }
    QLabel* touchIdPrompt() const { return m_touchIdPrompt; }

Q_SIGNALS:
    // The credential store answered a read.
    void storedPasswordLoaded(PasswordEntryView::StoredPassword answer);
    // The fingerprint check started after its availability was confirmed.
    void touchIdCheckStarted();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeStoredPassword(const AppPassword::ReadResult& result);
    void readTouchIdChoice();
    void setIsTouchID(bool shown);
    // Sizes the fingerprint button's slot for a part of the slide (0: none of it, 1: all of it).
    void placeTouchIdButton(qreal progress);
    void beginTouchIdCheck(quint64 attempt);
    void finishTouchIdCheck(quint64 attempt);
    // Ends a running check without a word: the screen is gone or the user is in.
    void dropTouchIdCheck();
    void setWarningText(const std::optional<QString>& text);
    void resetColours();
    void forgetTypedPassword();
    void placeTouchIdPrompt();

    AppContext* m_appContext;
    Binding<bool> m_isAuthenticated;
    Binding<std::optional<QString>> m_warningText;
    // What a typed password is checked against; the stored password itself is never kept.
    std::optional<PasswordDigest> m_storedDigest;
    QString m_password;
    StoredPassword m_storedPassword = StoredPassword::unknown;
    bool m_loading = false;
    bool m_submitPending = false;
    bool m_appeared = false;
    bool m_touchIdChoiceRequested = false;
    bool m_isTouchID = false;

    LockImageView* m_lockImage;
    SecureInputView* m_field;
    PasswordFieldFrame* m_fieldFrame;
    TrendyButtonHelper* m_touchIdButton;
    // Where the fingerprint button stands; its width grows from nothing as the button slides in.
    QWidget* m_touchIdSlot;
    QLabel* m_touchIdPrompt;

    QPointer<BiometricContext> m_context;
    quint64 m_touchIdAttempt = 0;

    QTimer m_colourReset;
    QTimer m_warningReset;
    QParallelAnimationGroup m_colourAnimation;
    QVariantAnimation m_touchIdSlide;
};
