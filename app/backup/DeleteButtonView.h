#pragma once

#include <QWidget>

class ActionContext;
class CheckBoxHelper;
class QLabel;

// The erase sheet's screen: a warning and a consent box. The sheet's action stays disabled until the
// box is ticked; each change of the context's performAction then removes the sibling's data folder,
// reports the result and closes the sheet a moment later.
class DeleteButtonView : public QWidget
{
    Q_OBJECT

public:
    static QString warningText();
    static QString consentText();
    static QString progressText();
    static QString successText();
    static QString failureText();

    explicit DeleteButtonView(ActionContext* context, QWidget* parent = nullptr);

    QLabel* warningLabel() const { return m_warning; }
    CheckBoxHelper* checkBox() const { return m_checkBox; }

    // Test hook: how long the result stays under the progress card before the sheet closes (1 s).
    void setCloseDelay(int milliseconds) { m_closeDelay = milliseconds; }

Q_SIGNALS:
    void deletionStarted();

private:
    void startDeletion();

    ActionContext* m_context;
    QLabel* m_warning = nullptr;
    CheckBoxHelper* m_checkBox = nullptr;
    int m_closeDelay = 1000;
};
