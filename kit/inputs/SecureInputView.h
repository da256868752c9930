#pragma once

#include "kit/theme/Binding.h"

#include <QLineEdit>

#include <functional>

// A borderless, transparent password entry. Every keystroke is written to the text binding once the
// current event has been handled; Return runs the owner's action and then selects the whole entry.
// The placeholder is drawn 2 points smaller than the entry text.
//
// Bindings carry no change notification: after changing the bound text from outside, the owner calls
// refresh(). The field's own text is replaced only when the bound text differs from it, so queued
// writes never undo keystrokes or move the caret.
class SecureInputView : public QLineEdit
{
    Q_OBJECT

public:
    SecureInputView(Binding<QString> text, qreal fontSize, const QString& placeholderString,
                    bool shouldSelectAll = false, std::function<void()> onEnterPressed = {}, QWidget* parent = nullptr);
    ~SecureInputView() override;

    // Re-reads the bound text; selects the whole entry when asked to and the field is being edited.
    void refresh();
    void setShouldSelectAll(bool shouldSelectAll);
    bool shouldSelectAll() const { return m_shouldSelectAll; }

    QString placeholderString() const { return m_placeholderString; }
    QFont placeholderFont() const;
    QColor placeholderColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void queueSelectAllIfEditing();
    void writePending();

    Binding<QString> m_text;
    qreal m_fontSize;
    QString m_placeholderString;
    bool m_shouldSelectAll;
    std::function<void()> m_onEnterPressed;
    bool m_writePending = false;
};
