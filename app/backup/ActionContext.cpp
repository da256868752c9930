#include "app/backup/ActionContext.h"

void ActionContext::togglePerformAction()
{
    m_performAction = !m_performAction;
    Q_EMIT performActionChanged(m_performAction);
}

void ActionContext::setIsButtonDisabled(bool disabled)
{
    if (m_isButtonDisabled == disabled)
        return;
    m_isButtonDisabled = disabled;
    Q_EMIT isButtonDisabledChanged(disabled);
}

void ActionContext::setProgressLoadText(const std::optional<QString>& text)
{
    if (m_progressLoadText == text)
        return;
    m_progressLoadText = text;
    Q_EMIT progressLoadTextChanged(text);
}

void ActionContext::setIsReadingPassword(bool reading)
{
    if (m_isReadingPassword == reading)
        return;
    m_isReadingPassword = reading;
    Q_EMIT isReadingPasswordChanged(reading);
}

void ActionContext::setMessageText(const std::optional<QString>& text)
{
    m_messageText = text;
    Q_EMIT messageTextChanged(text);
}

void ActionContext::closeView()
{
    Q_EMIT closeViewRequested();
}
