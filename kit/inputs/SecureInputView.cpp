#include "kit/inputs/SecureInputView.h"

#include "kit/inputs/PasswordMaskStyle.h"
#include "kit/inputs/UserCharacters.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "platform/secrets/SecretBytes.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>

SecureInputView::SecureInputView(Binding<QString> text, qreal fontSize, const QString& placeholderString,
                                 bool shouldSelectAll, std::function<void()> onEnterPressed, QWidget* parent)
    : QLineEdit(parent)
    , m_text(std::move(text))
    , m_fontSize(fontSize)
    , m_placeholderString(placeholderString)
    , m_shouldSelectAll(shouldSelectAll)
    , m_selectionPending(shouldSelectAll)
    , m_onEnterPressed(std::move(onEnterPressed))
{
    setEchoMode(QLineEdit::Password);
    PasswordMaskStyle::apply(this);
    setFrame(false);
    setFont(entryFont(m_fontSize));
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette p = palette();
    p.setColor(QPalette::Text, TarnColor::accentColor());
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Window, Qt::transparent);
    setPalette(p);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    // The placeholder is drawn by hand; screen readers get it as the field's name.
    setAccessibleName(m_placeholderString);

    // The binding follows the field once the keystroke's event has been handled; the write takes
    // the field's text as it is then, so writes queued in a burst land in order with the last text.
    connect(this, &QLineEdit::textEdited, this, [this] {
        applyCharacterLimit();
        m_writePending = true;
        m_selectionPending = false; // what the user typed since the request is theirs
        QTimer::singleShot(0, this, &SecureInputView::commit);
    });
    refresh();
}

// Drops a queued write: see the class comment.
SecureInputView::~SecureInputView()
{
    wipe();
}

void SecureInputView::wipe()
{
    m_writePending = false;
    QString shown = QLineEdit::text();
    SecretBytes::wipeText(shown);
    // Replaced, not edited: the field drops its undo history with the overwritten text.
    const QSignalBlocker blocker(this);
    setText(QString());
}

void SecureInputView::applyCharacterLimit()
{
    if (m_characterLimit < 0)
        return;
    QString shown = QLineEdit::text();
    const QString kept = UserCharacters::truncated(shown, m_characterLimit);
    if (kept.size() == shown.size())
        return;
    // The field frees the text it replaces as it is: overwrite it first.
    SecretBytes::wipeText(shown);
    const QSignalBlocker blocker(this);
    setText(kept);
}

QFont SecureInputView::entryFont(qreal size)
{
    return FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), size, QFont::Normal);
}

void SecureInputView::commit()
{
    if (!m_writePending)
        return;
    m_writePending = false;
    // The text written before is overwritten once nothing holds it any more: after a correction it
    // may hold the whole password.
    QString previous = m_text.get();
    m_text.set(QLineEdit::text());
    SecretBytes::cleanse(previous);
}

void SecureInputView::refresh()
{
    // While a keystroke's write is queued the field is newer than the binding.
    const QString bound = m_text.get();
    if (!m_writePending && bound != QLineEdit::text())
        setText(bound);
    if (m_selectionPending)
        queueSelectAllIfEditing();
}

void SecureInputView::setShouldSelectAll(bool shouldSelectAll)
{
    if (shouldSelectAll == m_shouldSelectAll)
        return;
    m_shouldSelectAll = shouldSelectAll;
    m_selectionPending = shouldSelectAll;
    if (m_selectionPending)
        queueSelectAllIfEditing();
}

QFont SecureInputView::placeholderFont() const
{
    return entryFont(m_fontSize - 2);
}

QColor SecureInputView::placeholderColor() const
{
    return TarnColor::secondary();
}

void SecureInputView::queueSelectAllIfEditing()
{
    QTimer::singleShot(0, this, [this] {
        if (m_selectionPending && hasFocus()) {
            m_selectionPending = false;
            selectAll();
        }
    });
}

void SecureInputView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        QTimer::singleShot(0, this, [this] {
            commit();
            if (m_onEnterPressed)
                m_onEnterPressed();
            selectAll();
        });
        return;
    }
    QLineEdit::keyPressEvent(event);
}

QRect SecureInputView::placeholderRect() const
{
    // The entry keeps this margin on either side of its text.
    constexpr int textMargin = 2;
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    return contents.marginsRemoved(textMargins()).adjusted(textMargin, 0, -textMargin, 0);
}

void SecureInputView::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (!QLineEdit::text().isEmpty() || m_placeholderString.isEmpty())
        return;
    const QRect area = placeholderRect();
    QPainter painter(this);
    painter.setFont(placeholderFont());
    painter.setPen(placeholderColor());
    const QFontMetrics metrics(placeholderFont());
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(m_placeholderString, Qt::ElideRight, area.width()));
}
