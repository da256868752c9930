#pragma once

#include "kit/theme/Binding.h"

#include <QLineEdit>

#include <functional>

// A borderless, transparent password entry in Roboto (the system font where it is missing), masked
// with bullets of that font. Every keystroke is written to the text binding once the current event
// has been handled; Return runs the owner's action and then selects the whole entry. The
// placeholder is drawn 2 points smaller than the entry text.
//
// Turning shouldSelectAll on asks for one selection of the whole entry: it is made at once while the
// field is being edited, else by the first refresh() that finds it so. Writing the flag again, later
// refreshes and turning it off never select; a keystroke before the selection was made drops it.
//
// Bindings carry no change notification: after changing the bound text from outside, the owner calls
// refresh(). The field's own text is replaced only when the bound text differs from it, so queued
// writes never undo keystrokes or move the caret.
//
// An edit past the character limit (none unless set) is cut to it, counted in user-perceived
// characters as the kit's text field counts them.
//
// The field's text is a secret: wipe() and the destructor overwrite it where it lies, and the
// bound text shares those characters once a keystroke was written to it.
//
// A keystroke's write still queued when the field is destroyed is dropped, never written: the field
// usually goes with its owner, whose bound value may be gone by then. An owner that destroys the
// field on its own and wants the last keystroke calls commit() first.
class SecureInputView : public QLineEdit
{
    Q_OBJECT

public:
    SecureInputView(Binding<QString> text, qreal fontSize, const QString& placeholderString,
                    bool shouldSelectAll = false, std::function<void()> onEnterPressed = {}, QWidget* parent = nullptr);
    // Overwrites the text.
    ~SecureInputView() override;

    // The face of the entry text at a size.
    static QFont entryFont(qreal size);

    // Re-reads the bound text; makes a selection still asked for when the field is being edited.
    void refresh();
    // Writes a queued keystroke to the binding now.
    void commit();
    void setShouldSelectAll(bool shouldSelectAll);
    // Empties the field, overwriting its characters first (also for the copies that share them).
    void wipe();
    void setCharacterLimit(int limit) { m_characterLimit = limit; }
    int characterLimit() const { return m_characterLimit; }
    bool shouldSelectAll() const { return m_shouldSelectAll; }

    QString placeholderString() const { return m_placeholderString; }
    QFont placeholderFont() const;
    QColor placeholderColor() const;
    // Where the placeholder is drawn: the text area, less the entry's own margin on both sides.
    QRect placeholderRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void queueSelectAllIfEditing();
    void applyCharacterLimit();

    Binding<QString> m_text;
    qreal m_fontSize;
    QString m_placeholderString;
    bool m_shouldSelectAll;
    bool m_selectionPending;
    std::function<void()> m_onEnterPressed;
    bool m_writePending = false;
    int m_characterLimit = -1;
};
