#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// What the main screen and the screen of its open sheet share. The host starts the screen's work by
// toggling performAction (the screen acts on every change, never on the value); the screen sets
// isButtonDisabled for the sheet's action button, shows progressLoadText while its work runs and
// leaves its result in messageText; closeView() asks the host to close the sheet.
class ActionContext : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool performAction READ performAction NOTIFY performActionChanged)
    Q_PROPERTY(bool isButtonDisabled READ isButtonDisabled WRITE setIsButtonDisabled NOTIFY isButtonDisabledChanged)
    Q_PROPERTY(std::optional<QString> progressLoadText READ progressLoadText WRITE setProgressLoadText NOTIFY
                   progressLoadTextChanged)
    Q_PROPERTY(std::optional<QString> messageText READ messageText WRITE setMessageText NOTIFY messageTextChanged)
    Q_PROPERTY(bool isReadingPassword READ isReadingPassword WRITE setIsReadingPassword NOTIFY isReadingPasswordChanged)

public:
    using QObject::QObject;

    bool performAction() const { return m_performAction; }
    // The host's start signal: flips the value.
    void togglePerformAction();

    bool isButtonDisabled() const { return m_isButtonDisabled; }
    void setIsButtonDisabled(bool disabled);

    std::optional<QString> progressLoadText() const { return m_progressLoadText; }
    void setProgressLoadText(const std::optional<QString>& text);
    // Work runs from the progress text's appearance until it is gone.
    bool isWorking() const { return m_progressLoadText.has_value(); }

    // The work waits for the archive password, which may take a keyring prompt the user answers:
    // meanwhile the inactivity logout still counts.
    bool isReadingPassword() const { return m_isReadingPassword; }
    void setIsReadingPassword(bool reading);

    std::optional<QString> messageText() const { return m_messageText; }
    // Every result is announced, also one equal to the last.
    void setMessageText(const std::optional<QString>& text);

    // Asked by the screen's work, off the GUI thread, right before Data is replaced or removed: a German
    // text when that must not happen now, else nothing. The host sets it; none by default.
    using DataGuard = std::function<std::optional<QString>()>;
    DataGuard dataGuard() const { return m_dataGuard; }
    void setDataGuard(DataGuard guard) { m_dataGuard = std::move(guard); }

public Q_SLOTS:
    void closeView();

Q_SIGNALS:
    void performActionChanged(bool performAction);
    void isButtonDisabledChanged(bool disabled);
    void progressLoadTextChanged(const std::optional<QString>& text);
    void messageTextChanged(const std::optional<QString>& text);
    void isReadingPasswordChanged(bool reading);
    void closeViewRequested();

private:
    bool m_performAction = false;
    bool m_isButtonDisabled = false;
    std::optional<QString> m_progressLoadText;
    std::optional<QString> m_messageText;
    bool m_isReadingPassword = false;
    DataGuard m_dataGuard;
};
