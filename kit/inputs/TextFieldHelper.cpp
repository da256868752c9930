#include "kit/inputs/TextFieldHelper.h"

#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/InputPatterns.h"
#include "kit/inputs/PasswordMaskStyle.h"
#include "kit/inputs/Shake.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextFieldModifier.h"
#include "kit/inputs/UserCharacters.h"
#include "kit/theme/TarnColor.h"
#include "platform/secrets/SecretBytes.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include <utility>

namespace {

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

// Holds the input and offsets it sideways by the shake.
class ShakeHost : public QWidget
{
public:
    explicit ShakeHost(QWidget* input, QWidget* parent)
        : QWidget(parent)
        , m_input(input)
    {
        m_input->setParent(this);
        setSizePolicy(m_input->sizePolicy());
        setFocusProxy(m_input);
    }

    void setOffset(qreal offset)
    {
        m_offset = offset;
        place();
    }

    QSize sizeHint() const override { return m_input->sizeHint(); }
    QSize minimumSizeHint() const override { return m_input->minimumSizeHint(); }

protected:
    void resizeEvent(QResizeEvent*) override { place(); }

private:
    void place() { m_input->setGeometry(qRound(m_offset), 0, width(), height()); }

    QWidget* m_input;
    qreal m_offset = 0;
};

} // namespace

TextFieldHelper::TextFieldHelper(const QString& placeholder, const QString& title, Binding<QString> binding_text,
                                 bool isStylish, Binding<bool> isMaskedPassword, Binding<bool> isWorldNumber,
                                 ConnectionType connectionType, int lineLimit, std::optional<QString> restrictRegex,
                                 std::optional<QString> warnRegex, std::optional<QString> warnText, TarnFont titleFont,
                                 TarnFont font, int characterLimit, Binding<bool> borderedWarning,
                                 Binding<qreal> numberOfShakes, std::optional<qreal> width, bool isDisabled,
                                 QScrollArea* scrollProxy, ButtonType buttonType, bool startFocus,
                                 std::function<void()> onSubmit, std::function<void()> onExitCommand,
                                 std::function<void()> callback, QWidget* parent)
    : QWidget(parent)
    , m_bindingText(std::move(binding_text))
    , m_isMaskedPassword(std::move(isMaskedPassword))
    , m_isWorldNumber(std::move(isWorldNumber))
    , m_borderedWarning(std::move(borderedWarning))
    , m_numberOfShakes(std::move(numberOfShakes))
    , m_connectionType(connectionType)
    , m_lineLimit(lineLimit)
    , m_restrictRegex(std::move(restrictRegex))
    , m_warnRegex(std::move(warnRegex))
    , m_warnText(std::move(warnText))
    , m_characterLimit(characterLimit)
    , m_isStylish(isStylish)
    , m_isDisabled(isDisabled)
    , m_scrollProxy(scrollProxy)
    , m_buttonType(buttonType)
    , m_startFocus(startFocus)
    , m_onSubmit(std::move(onSubmit))
    , m_onExitCommand(std::move(onExitCommand))
    , m_callback(std::move(callback))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(5);

    if (!isBlank(title)) {
        m_caption = new ElidedLabel(title, 2, this);
        m_caption->setFont(titleFont.font());
        m_caption->setColor(TarnColor::secondary());
        auto* captionRow = new QHBoxLayout;
        captionRow->setContentsMargins(3, 0, 0, 0);
        captionRow->addWidget(m_caption);
        root->addLayout(captionRow);
    }

    m_input = new QLineEdit;
    if (m_connectionType == ConnectionType::password)
        PasswordMaskStyle::apply(m_input);
    m_input->setPlaceholderText(placeholder);
    m_input->setAccessibleName(isBlank(title) ? placeholder : title);
    m_input->setFont(font.font());
    m_input->setFrame(!m_isStylish);
    m_input->installEventFilter(this);
    auto* shakeHost = new ShakeHost(m_input, this);
    m_shakeHost = shakeHost;

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    if (m_connectionType == ConnectionType::password) {
        m_showHideButton = new TextFieldButtonHelper(m_connectionType.details().symbol, std::nullopt,
                                                     TarnColor::withOpacity(TarnColor::secondary(), 0.8), 20, [this] {
                                                         m_isMaskedPassword.set(!m_isMaskedPassword.get());
                                                         applyMasking();
                                                         Q_EMIT maskedPasswordToggled(m_isMaskedPassword.get());
                                                     });
        m_showHideButton->setFixedWidth(30);
        row->addWidget(m_showHideButton);
    }
    row->addWidget(m_shakeHost, 1);
    if (m_callback && m_buttonType == ButtonType::magicWand) {
        m_actionButton = new TextFieldButtonHelper(QStringLiteral("wand.and.stars.inverse"), std::nullopt,
                                                   TarnColor::withOpacity(TarnColor::iconColor(), 0.8), 15, [this] {
                                                       if (m_callback)
                                                           m_callback();
                                                       if (!isFocused())
                                                           focusInput();
                                                   });
        m_actionButton->setAccessibleName(QStringLiteral("Vorschlag einsetzen"));
        row->addWidget(m_actionButton);
    }
    if (m_isStylish) {
        m_clearButton = new TextFieldButtonHelper(QStringLiteral("multiply.circle.fill"), std::nullopt,
                                                  TarnColor::withOpacity(TarnColor::secondary(), 0.5), 15, [this] {
                                                      m_localCountryCode.clear();
                                                      m_input->setText(QString());
                                                      if (!isFocused())
                                                          focusInput();
                                                  });
        m_clearButton->setAccessibleName(QStringLiteral("Eingabe löschen"));
        row->addWidget(m_clearButton);
        row->addSpacing(5);

        auto* content = new QWidget;
        content->setLayout(row);
        m_box = new TextFieldModifier(content, font.font(), TarnColor::primary(), TarnColor::controlBackgroundColor(),
                                      m_input, this);
        m_box->setPadding(QMargins(10, 4, 5, 4));
        connect(m_box, &TextFieldModifier::focusChanged, this, [this](bool focused) {
            if (!focused)
                commit();
        });
        root->addWidget(m_box);
    } else {
        root->addLayout(row);
    }
    // Tab reaches the text first, then the buttons beside it.
    QWidget* previous = m_input;
    for (QWidget* button : {static_cast<QWidget*>(m_showHideButton), static_cast<QWidget*>(m_actionButton),
                            static_cast<QWidget*>(m_clearButton)}) {
        if (button) {
            QWidget::setTabOrder(previous, button);
            previous = button;
        }
    }

    m_warningLine = new ElidedLabel(QString(), 1, this);
    m_warningLine->setFont(TarnFont(TarnFont::roboto_regular10).font());
    m_warningLine->setColor(TarnColor::red());
    auto* warningRow = new QHBoxLayout;
    warningRow->setContentsMargins(10, 0, 0, 0);
    warningRow->addWidget(m_warningLine);
    root->addLayout(warningRow);
    m_warningLine->hide();

    if (width)
        setFixedWidth(qRound(*width));

    m_warningTimer.setSingleShot(true);
    m_warningTimer.setTimerType(Qt::PreciseTimer);
    m_warningTimer.setInterval(warningDurationMs);
    connect(&m_warningTimer, &QTimer::timeout, this, &TextFieldHelper::hideWarning);

    const bool secret = m_connectionType == ConnectionType::password;
    m_debouncer.setSecret(secret);
    connect(&m_debouncer, &TextDebouncer::delivered, this, [this, secret](const QString& text) {
        QString previous = std::exchange(m_boundText, text);
        m_bindingText.set(text);
        if (secret)
            SecretBytes::cleanse(previous);
    });
    connect(m_input, &QLineEdit::textChanged, this, &TextFieldHelper::onInputEdited);
    connect(m_input, &QLineEdit::returnPressed, this, &TextFieldHelper::submit);

    setBuffer(m_bindingText.get(), true);
    applyMasking();
    applyShake();
}

TextFieldHelper::~TextFieldHelper()
{
    // Pending typing is dropped with the debouncer (see the class comment). The children go after
    // the members: nothing they signal while going may reach this field.
    m_input->removeEventFilter(this);
    m_input->disconnect(this);
    if (m_box)
        m_box->disconnect(this);
    if (m_connectionType == ConnectionType::password)
        wipe();
}

QString TextFieldHelper::cutText(int characterLimit)
{
    return QStringLiteral("Die Eingabe wurde auf %1 Zeichen gekürzt.").arg(characterLimit);
}

void TextFieldHelper::wipe()
{
    m_debouncer.wipe();
    QString shown = m_input->text();
    SecretBytes::wipeText(shown);
    // Replaced, not edited: the input drops its undo history with the overwritten text.
    m_applying = true;
    m_input->setText(QString());
    m_applying = false;
    SecretBytes::wipeText(m_buffer);
    SecretBytes::wipeText(m_boundText);
    updateButtons();
}

void TextFieldHelper::commit()
{
    m_debouncer.flush();
}

void TextFieldHelper::refresh()
{
    const QString bound = m_bindingText.get();
    if (bound != m_boundText)
        setBuffer(bound, true);
    else
        commit();
    applyMasking();
    applyShake();
}

bool TextFieldHelper::isFocused() const
{
    return m_input->hasFocus();
}

bool TextFieldHelper::isWarningVisible() const
{
    return m_timerIsRunning && m_shownWarning.has_value();
}

std::optional<QString> TextFieldHelper::shownWarning() const
{
    return isWarningVisible() ? m_shownWarning : std::nullopt;
}

void TextFieldHelper::onInputEdited(const QString& text)
{
    if (m_applying)
        return;
    setBuffer(text, false);
}

// Applies the patterns and the character limit to a new buffer value and shows it in the input.
// Typing is handed to the debounce; a value that came from the binding is not sent back unless the
// rules changed it.
void TextFieldHelper::setBuffer(const QString& text, bool fromBinding)
{
    QString old = m_buffer;
    const InputPatterns::Outcome outcome = InputPatterns::apply(m_restrictRegex, m_warnRegex, text);
    const QString kept = UserCharacters::truncated(outcome.text, m_characterLimit);
    const bool cut = !fromBinding && kept.size() < outcome.text.size();

    if (m_input->text() != kept) {
        const int cursor = m_input->cursorPosition() - int(text.size() - kept.size());
        m_applying = true;
        if (!fromBinding && m_connectionType == ConnectionType::password) {
            // The input frees the text it replaces as it is: overwrite it first.
            QString replaced = m_input->text();
            SecretBytes::wipeText(replaced);
        }
        m_input->setText(kept);
        if (!fromBinding)
            m_input->setCursorPosition(qBound(0, cursor, int(kept.size())));
        m_applying = false;
    }
    m_buffer = kept;
    if (cut)
        showWarning(cutText(m_characterLimit));
    else if (outcome.warn)
        showWarning();
    updateButtons();

    if (fromBinding) {
        m_boundText = text;
        m_debouncer.cancel();
        if (kept != text)
            m_debouncer.push(kept);
    } else if (old != kept) {
        m_debouncer.push(kept);
    }
    // A password's text let go of is overwritten when nothing holds it any more: after a correction
    // it may hold the whole password.
    if (m_connectionType == ConnectionType::password)
        SecretBytes::cleanse(old);
}

void TextFieldHelper::showWarning(const std::optional<QString>& text)
{
    m_warningTimer.start();
    m_timerIsRunning = true;
    m_shownWarning = text ? text : m_warnText;
    if (m_shownWarning) {
        m_warningLine->setText(*m_shownWarning);
        m_warningLine->show();
    } else {
        m_warningLine->hide();
    }
}

void TextFieldHelper::hideWarning()
{
    m_warningTimer.stop();
    m_timerIsRunning = false;
    m_shownWarning.reset();
    m_warningLine->hide();
}

void TextFieldHelper::applyMasking()
{
    if (m_connectionType != ConnectionType::password)
        return;
    const bool masked = m_isMaskedPassword.get();
    m_input->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    const ConnectionType::Details details = m_connectionType.details();
    m_showHideButton->setIconName(masked ? details.symbol : details.alternateSymbol);
    m_showHideButton->setAccessibleName(masked ? QStringLiteral("Passwort anzeigen")
                                               : QStringLiteral("Passwort verbergen"));
}

void TextFieldHelper::applyShake()
{
    static_cast<ShakeHost*>(m_shakeHost)->setOffset(Shake(m_numberOfShakes.get()).offset().x());
}

void TextFieldHelper::updateButtons()
{
    const bool blank = isBlank(m_buffer);
    if (m_showHideButton)
        m_showHideButton->setEnabled(!blank);
    if (m_clearButton)
        m_clearButton->setEnabled(!blank);
}

void TextFieldHelper::focusInput()
{
    m_input->setFocus(Qt::OtherFocusReason);
}

void TextFieldHelper::submit()
{
    commit();
    m_numberOfShakes.set(0);
    applyShake();
    if (m_onSubmit)
        m_onSubmit();
}

bool TextFieldHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_input) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (m_onExitCommand) {
                m_onExitCommand();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            commit();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TextFieldHelper::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        if (m_startFocus)
            focusInput();
    }
}
