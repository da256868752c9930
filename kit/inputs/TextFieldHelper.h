#pragma once

#include "kit/inputs/ConnectionType.h"
#include "kit/inputs/TextDebouncer.h"
#include "kit/theme/Binding.h"
#include "kit/theme/TarnFont.h"

#include <QHash>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class ElidedLabel;
class QLineEdit;
class QScrollArea;
class TextFieldButtonHelper;
class TextFieldModifier;

// The kit's single-line input: a caption, a field that edits a private buffer, and a warning line.
// Typing reaches the caller's text binding once it has paused for half a second; pending typing is
// handed over at once on Return, when the field loses focus and on commit().
// Password fields mask their text behind a show/hide button. A restriction pattern removes what it
// matches, a warning pattern only warns; either shows the warning line for five seconds. The buffer
// keeps at most `characterLimit` user-perceived characters (a negative limit means no limit).
//
// Bindings carry no change notification: after changing a bound value from outside, the owner calls
// refresh(). A text the owner changed replaces the buffer and any typing still pending; otherwise
// refresh() hands pending typing over, so it is never lost.
//
// An edit that goes past the limit is cut to it, and the warning line says so (cutText()).
//
// A password field overwrites its text where it lies (the input's buffer and every copy the field
// holds) when it is destroyed, and on wipe().
//
// Typing still pending when the field is destroyed is dropped, never written: the field usually goes
// with its owner, whose bound values may be gone by then. An owner that destroys the field on its own
// and wants the last typing calls commit() first.
class TextFieldHelper : public QWidget
{
    Q_OBJECT

public:
    enum class ButtonType { clear, magicWand };

    static constexpr int warningDurationMs = 5000;

    // The warning line's text when an edit was cut to the limit.
    static QString cutText(int characterLimit);

    TextFieldHelper(const QString& placeholder, const QString& title, Binding<QString> binding_text,
                    bool isStylish = true, Binding<bool> isMaskedPassword = Binding<bool>::state(true),
                    Binding<bool> isWorldNumber = Binding<bool>::constant(true),
                    ConnectionType connectionType = ConnectionType::text, int lineLimit = 1,
                    std::optional<QString> restrictRegex = std::nullopt,
                    std::optional<QString> warnRegex = std::nullopt, std::optional<QString> warnText = std::nullopt,
                    TarnFont titleFont = TarnFont::roboto_regular12, TarnFont font = TarnFont::roboto_regular14,
                    int characterLimit = -1, Binding<bool> borderedWarning = Binding<bool>::constant(true),
                    Binding<qreal> numberOfShakes = Binding<qreal>::constant(0),
                    std::optional<qreal> width = std::nullopt, bool isDisabled = false,
                    QScrollArea* scrollProxy = nullptr, ButtonType buttonType = ButtonType::clear,
                    bool startFocus = false, std::function<void()> onSubmit = {},
                    std::function<void()> onExitCommand = {}, std::function<void()> callback = {},
                    QWidget* parent = nullptr);
    ~TextFieldHelper() override;

    // Hands pending typing to the text binding now. Hosts call it before they read the bound text.
    void commit();
    // Re-reads the bindings: a text changed by the owner replaces the buffer at once, else pending
    // typing is handed over; masking and shake follow.
    void refresh();

    // Empties the field, overwriting its characters first: in the input, in the pending typing and
    // in the texts last handed over (the owner's copies that share them read as zeros afterwards).
    void wipe();

    QString buffer() const { return m_buffer; }
    bool isFocused() const;
    bool isWarningVisible() const;
    // The text the warning line shows while it is visible.
    std::optional<QString> shownWarning() const;
    std::optional<QString> warnText() const { return m_warnText; }
    ConnectionType connectionType() const { return m_connectionType; }
    int characterLimit() const { return m_characterLimit; }

    QLineEdit* input() const { return m_input; }
    TextFieldModifier* box() const { return m_box; }
    ElidedLabel* caption() const { return m_caption; }
    ElidedLabel* warningLine() const { return m_warningLine; }
    TextFieldButtonHelper* showHideButton() const { return m_showHideButton; }
    TextFieldButtonHelper* actionButton() const { return m_actionButton; }
    TextFieldButtonHelper* clearButton() const { return m_clearButton; }

    // Test hooks.
    void setDebounceInterval(int ms) { m_debouncer.setInterval(ms); }
    void setWarningInterval(int ms) { m_warningTimer.setInterval(ms); }
    int warningInterval() const { return m_warningTimer.interval(); }
    int warningRemainingTime() const { return m_warningTimer.remainingTime(); }

Q_SIGNALS:
    // The show/hide button wrote the masking binding; other fields sharing it should refresh().
    void maskedPasswordToggled(bool isMasked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void onInputEdited(const QString& text);
    void setBuffer(const QString& text, bool fromBinding);
    void showWarning(const std::optional<QString>& text = std::nullopt);
    void hideWarning();
    void applyMasking();
    void applyShake();
    void updateButtons();
    void focusInput();
    void submit();

    Binding<QString> m_bindingText;
    Binding<bool> m_isMaskedPassword;
    Binding<bool> m_isWorldNumber;
    Binding<bool> m_borderedWarning;
    Binding<qreal> m_numberOfShakes;
    ConnectionType m_connectionType;
    [[maybe_unused]] int m_lineLimit;
    std::optional<QString> m_restrictRegex;
    std::optional<QString> m_warnRegex;
    std::optional<QString> m_warnText;
    int m_characterLimit;
    bool m_isStylish;
    [[maybe_unused]] bool m_isDisabled;
    [[maybe_unused]] QScrollArea* m_scrollProxy;
    ButtonType m_buttonType;
    bool m_startFocus;
    std::function<void()> m_onSubmit;
    std::function<void()> m_onExitCommand;
    std::function<void()> m_callback;
    [[maybe_unused]] bool m_isPopover = false;
    QString m_localCountryCode;
    QHash<QString, QString> m_countryNames;

    QString m_buffer;
    // The bound text as the field last read or wrote it: a different value was set by the owner.
    QString m_boundText;
    bool m_applying = false;
    bool m_appeared = false;
    bool m_timerIsRunning = false;
    std::optional<QString> m_shownWarning;
    TextDebouncer m_debouncer;
    QTimer m_warningTimer;

    QLineEdit* m_input = nullptr;
    QWidget* m_shakeHost = nullptr;
    TextFieldModifier* m_box = nullptr;
    ElidedLabel* m_caption = nullptr;
    ElidedLabel* m_warningLine = nullptr;
    TextFieldButtonHelper* m_showHideButton = nullptr;
    TextFieldButtonHelper* m_actionButton = nullptr;
    TextFieldButtonHelper* m_clearButton = nullptr;
};
