#pragma once

#include "kit/inputs/TextDebouncer.h"
#include "kit/theme/Binding.h"
#include "kit/theme/TarnFont.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPlainTextEdit;
class TextFieldModifier;

// The multi-line plain-text input: an optional grey title above a boxed editor with a placeholder.
// Typing edits a private copy; the text binding receives it once typing has paused for half a
// second, and at once when the editor loses focus, when it is destroyed and on commit(). Tab moves
// the focus on rather than typing a tab.
//
// Bindings carry no change notification: after changing the bound text from outside, the owner
// calls refresh(). The owner of the bound text must outlive the editor, which writes on destruction.
class TextEditorHelper : public QWidget
{
    Q_OBJECT

public:
    TextEditorHelper(const QString& placeholder, const std::optional<QString>& title, TarnFont textFont, TarnFont font,
                     qreal idealHeight, qreal maxHeight, std::optional<qreal> width, qreal lineSpacing,
                     Binding<QString> text, bool isDisabled = false, bool needFocus = false, QWidget* parent = nullptr);
    ~TextEditorHelper() override;

    // Hands pending typing to the text binding now. Hosts call it before they read the bound text.
    void commit();
    // Re-reads the bound text: a text that differs from the edit copy replaces it at once.
    void refresh();

    QString editText() const { return m_tmpText; }
    bool isDisabled() const { return m_isDisabled; }
    bool isFocused() const;

    QPlainTextEdit* editor() const { return m_editor; }
    TextFieldModifier* box() const { return m_box; }
    QLabel* titleLabel() const { return m_title; }
    QLabel* placeholderLabel() const { return m_placeholder; }

    // Test hook.
    void setDebounceInterval(int ms) { m_debouncer.setInterval(ms); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void onEdited();
    void applyLineSpacing();
    void updatePlaceholder();

    Binding<QString> m_text;
    qreal m_lineSpacing;
    bool m_isDisabled;
    bool m_needFocus;
    QString m_tmpText;
    bool m_applying = false;
    bool m_appeared = false;
    TextDebouncer m_debouncer;

    QLabel* m_title = nullptr;
    QPlainTextEdit* m_editor = nullptr;
    TextFieldModifier* m_box = nullptr;
    QLabel* m_placeholder = nullptr;
};
