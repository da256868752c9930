#include "kit/inputs/TextEditorHelper.h"

#include "kit/inputs/TextFieldModifier.h"
#include "kit/theme/TarnColor.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>

namespace {

constexpr int kMinimumHeight = 16;

class EditorArea : public QPlainTextEdit
{
public:
    EditorArea(qreal idealHeight, qreal maxHeight)
        : m_idealHeight(qRound(idealHeight))
    {
        setMinimumHeight(kMinimumHeight);
        setMaximumHeight(qMax(kMinimumHeight, qRound(maxHeight)));
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }

    QSize sizeHint() const override { return {QPlainTextEdit::sizeHint().width(), m_idealHeight}; }

private:
    int m_idealHeight;
};

} // namespace

TextEditorHelper::TextEditorHelper(const QString& placeholder, const std::optional<QString>& title, TarnFont textFont,
                                   TarnFont font, qreal idealHeight, qreal maxHeight, std::optional<qreal> width,
                                   qreal lineSpacing, Binding<QString> text, bool isDisabled, bool needFocus,
                                   QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
    , m_lineSpacing(lineSpacing)
    , m_isDisabled(isDisabled)
    , m_needFocus(needFocus)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(5);

    if (title && !title->trimmed().isEmpty()) {
        m_title = new QLabel(*title, this);
        m_title->setTextFormat(Qt::PlainText);
        m_title->setWordWrap(true);
        m_title->setFont(font.font());
        QPalette p = m_title->palette();
        p.setColor(QPalette::WindowText, TarnColor::secondary());
        m_title->setPalette(p);
        m_title->setContentsMargins(3, 0, 0, 0);
        root->addWidget(m_title);
    }

    m_editor = new EditorArea(idealHeight, maxHeight);
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->viewport()->setAutoFillBackground(false);
    m_editor->document()->setDocumentMargin(0);
    m_editor->setTabChangesFocus(true);
    // Lines wrap, a long word too: nothing to scroll sideways.
    m_editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_editor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setAccessibleName(title && !title->trimmed().isEmpty() ? *title : placeholder);
    m_editor->setEnabled(!m_isDisabled);
    m_editor->setFocusPolicy(m_isDisabled ? Qt::NoFocus : Qt::StrongFocus);
    m_editor->installEventFilter(this);

    const QColor textColor = m_isDisabled ? TarnColor::secondary() : TarnColor::primary();
    const QColor bgColor = TarnColor::withOpacity(TarnColor::controlBackgroundColor(), m_isDisabled ? 0.5 : 1.0);
    m_box = new TextFieldModifier(m_editor, textFont.font(), textColor, bgColor);
    // A disabled editor keeps the text colour it was given rather than the palette's disabled one.
    QPalette editorPalette = m_editor->palette();
    editorPalette.setColor(QPalette::Disabled, QPalette::Text, textColor);
    m_editor->setPalette(editorPalette);
    connect(m_box, &TextFieldModifier::focusChanged, this, [this](bool focused) {
        if (!focused)
            commit();
    });

    m_placeholder = new QLabel(placeholder);
    m_placeholder->setTextFormat(Qt::PlainText);
    m_placeholder->setContentsMargins(15, 4, 0, 4);
    m_placeholder->setFont(textFont.font());
    QPalette placeholderPalette = m_placeholder->palette();
    placeholderPalette.setColor(QPalette::WindowText, placeholderPalette.color(QPalette::PlaceholderText));
    m_placeholder->setPalette(placeholderPalette);
    m_placeholder->installEventFilter(this);

    auto* stack = new QGridLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(m_box, 0, 0);
    stack->addWidget(m_placeholder, 0, 0, Qt::AlignTop | Qt::AlignLeft);
    root->addLayout(stack);

    if (width)
        setFixedWidth(qRound(*width));

    connect(&m_debouncer, &TextDebouncer::delivered, this, [this](const QString& value) { m_text.set(value); });
    connect(m_editor, &QPlainTextEdit::textChanged, this, &TextEditorHelper::onEdited);

    m_tmpText = m_text.get();
    m_applying = true;
    m_editor->setPlainText(m_tmpText);
    m_applying = false;
    applyLineSpacing();
    // Typing goes on after the text that is there.
    m_editor->moveCursor(QTextCursor::End);
    updatePlaceholder();
}

TextEditorHelper::~TextEditorHelper()
{
    commit();
    // The children go after the members: nothing they signal while going may reach this editor.
    m_editor->removeEventFilter(this);
    m_placeholder->removeEventFilter(this);
    m_editor->disconnect(this);
    m_box->disconnect(this);
}

void TextEditorHelper::commit()
{
    m_debouncer.flush();
}

void TextEditorHelper::refresh()
{
    const QString bound = m_text.get();
    if (bound == m_tmpText)
        return;
    m_debouncer.cancel();
    m_tmpText = bound;
    m_applying = true;
    m_editor->setPlainText(bound);
    m_applying = false;
    applyLineSpacing();
    m_editor->moveCursor(QTextCursor::End);
    updatePlaceholder();
}

bool TextEditorHelper::isFocused() const
{
    return m_editor->hasFocus();
}

void TextEditorHelper::onEdited()
{
    if (m_applying)
        return;
    const QString text = m_editor->toPlainText();
    if (text == m_tmpText)
        return;
    m_tmpText = text;
    updatePlaceholder();
    m_debouncer.push(text);
}

void TextEditorHelper::applyLineSpacing()
{
    if (m_lineSpacing <= 0)
        return;
    m_applying = true;
    QTextBlockFormat format;
    format.setLineHeight(m_lineSpacing, QTextBlockFormat::LineDistanceHeight);
    QTextCursor cursor(m_editor->document());
    cursor.select(QTextCursor::Document);
    cursor.mergeBlockFormat(format);
    m_applying = false;
}

void TextEditorHelper::updatePlaceholder()
{
    m_placeholder->setVisible(m_tmpText.isEmpty());
}

bool TextEditorHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_placeholder && event->type() == QEvent::MouseButtonPress) {
        if (!m_isDisabled)
            m_editor->setFocus(Qt::MouseFocusReason);
        return true;
    }
    if (watched == m_editor && event->type() == QEvent::FocusOut)
        commit();
    return QWidget::eventFilter(watched, event);
}

void TextEditorHelper::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        if (m_needFocus && !m_isDisabled)
            m_editor->setFocus(Qt::OtherFocusReason);
    }
}
