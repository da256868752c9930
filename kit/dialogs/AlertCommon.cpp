#include "kit/dialogs/AlertCommon.h"

#include "kit/controls/ControlAccessibility.h"
#include "kit/controls/SymbolView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/BoldMarkup.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"

#include <QCheckBox>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int cornerRadius = 12;
constexpr int defaultSpacing = 8;

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

} // namespace

AlertCommon::AlertCommon(const QString& title, QWidget* content, QList<Button> buttons, AlertCustomType alertType,
                         const std::optional<QString>& withWarningTXT, const std::optional<QString>& toggleText,
                         QWidget* parent)
    : QWidget(parent)
    , m_buttons(std::move(buttons))
    , m_alertType(alertType)
    , m_content(content)
{
    setFixedWidth(alertWidth);
    setFocusPolicy(Qt::StrongFocus);
    ControlAccessibility::install();
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 102));
    shadow->setBlurRadius(32);
    shadow->setOffset(0, 12);
    setGraphicsEffect(shadow);

    const QColor kindColor = AlertCustomTypes::color(alertType);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(defaultSpacing);

    // Header: symbol (its 30 x 30 space kept even without one) and title.
    m_header = new QWidget(this);
    auto* header = new QVBoxLayout(m_header);
    header->setContentsMargins(alertPadding, 15, alertPadding, 8);
    header->setSpacing(defaultSpacing);
    header->addWidget(new SymbolView(AlertCustomTypes::symbolName(alertType), kindColor, QSize(30, 30), m_header), 0,
                      Qt::AlignHCenter);
    if (!title.isEmpty()) {
        m_titleLabel = new QLabel(title, m_header);
        m_titleLabel->setTextFormat(Qt::PlainText);
        m_titleLabel->setWordWrap(true);
        m_titleLabel->setAlignment(Qt::AlignCenter);
        m_titleLabel->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold));
        setTextColor(m_titleLabel, kindColor);
        header->addWidget(m_titleLabel);
    }
    outer->addWidget(m_header);

    // Body: message section, then buttons.
    auto* body = new QVBoxLayout;
    body->setContentsMargins(alertPadding, alertPadding, alertPadding, alertPadding);
    body->setSpacing(20);
    auto* message = new QVBoxLayout;
    message->setContentsMargins(0, 0, 0, 10);
    message->setSpacing(20);
    if (m_content) {
        m_content->setParent(this);
        m_content->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 14, QFont::Normal));
        message->addWidget(m_content);
    }
    if (toggleText) {
        m_toggleView = new QCheckBox(*toggleText, this);
        m_toggleView->setFocusPolicy(Qt::TabFocus);
        setTextColor(m_toggleView, TarnColor::secondary());
        connect(m_toggleView, &QCheckBox::toggled, this, &AlertCommon::setToggle);
        message->addWidget(m_toggleView, 0, Qt::AlignHCenter);
    }
    if (toggleText && withWarningTXT) {
        auto* divider = new QFrame(this);
        divider->setFrameShape(QFrame::HLine);
        divider->setFrameShadow(QFrame::Plain);
        setTextColor(divider, TarnColor::withOpacity(TarnColor::secondary(), 0.5));
        message->addWidget(divider);
        m_hasDivider = true;
    }
    if (withWarningTXT) {
        m_warningLabel = new QLabel(*withWarningTXT, this);
        m_warningLabel->setTextFormat(Qt::PlainText);
        m_warningLabel->setWordWrap(true);
        m_warningLabel->setAlignment(Qt::AlignCenter);
        m_warningLabel->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal));
        setTextColor(m_warningLabel, TarnColor::secondary());
        message->addWidget(m_warningLabel);
    }
    body->addLayout(message);

    const bool stacked = m_buttons.size() >= 3;
    auto* row = new QBoxLayout(stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    row->setSpacing(defaultSpacing);
    row->addStretch();
    const qreal minWidth = stacked ? alertWidth - 2 * alertPadding : alertWidth / 3.0;
    for (int i = 0; i < m_buttons.size(); ++i) {
        const Button& button = m_buttons[i];
        TrendyButtonHelper::Fields fields;
        fields.text = button.title;
        fields.buttonColor = button.bgColor;
        fields.textColor = TarnColor::controlBackgroundColor();
        fields.imgSize = 18;
        fields.font = TarnFont::roboto_bold14;
        fields.padding = 10;
        fields.timer = 0;
        fields.minWidth = minWidth;
        fields.alignment = Qt::AlignCenter;
        fields.isDisabled = false;
        fields.callback = [this, i] { buttonTapped(i); };
        auto* view = new TrendyButtonHelper(std::move(fields), this);
        m_buttonViews << view;
        row->addWidget(view, 0, Qt::AlignCenter);
    }
    row->addStretch();
    body->addLayout(row);
    outer->addLayout(body);
}

QWidget* AlertCommon::messageText(const QString& text)
{
    // Rich text only where there is something bold; everything else stays plain text.
    const bool hasBold = BoldMarkup::plainText(text) != text;
    auto* label = new QLabel(hasBold ? BoldMarkup::toHtml(text) : text);
    label->setTextFormat(hasBold ? Qt::RichText : Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setOpenExternalLinks(false);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 14, QFont::Normal));
    label->setMaximumHeight(messageLineLimit * label->fontMetrics().lineSpacing());
    return label;
}

void AlertCommon::setToggle(bool toggle)
{
    if (m_toggle == toggle)
        return;
    m_toggle = toggle;
    if (m_toggleView)
        m_toggleView->setChecked(toggle);
    Q_EMIT toggleChanged(toggle);
}

Qt::Orientation AlertCommon::buttonOrientation() const
{
    return m_buttons.size() >= 3 ? Qt::Vertical : Qt::Horizontal;
}

void AlertCommon::setDismissAction(std::function<void()> dismiss)
{
    m_dismiss = std::move(dismiss);
}

void AlertCommon::buttonTapped(int index)
{
    if (index < 0 || index >= m_buttons.size())
        return;
    // Close first: an action that presents the next alert must not have it closed by this one.
    const std::function<void()> tap = m_buttons[index].tap;
    if (m_dismiss)
        m_dismiss();
    else if (SheetOverlay* overlay = SheetOverlay::enclosing(this))
        overlay->dismiss();
    if (tap)
        tap();
}

int AlertCommon::cancelButtonIndex() const
{
    if (m_buttons.size() == 1)
        return 0;
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (!m_buttons[i].isDefault)
            return i;
    }
    return -1;
}

void AlertCommon::keyPressEvent(QKeyEvent* event)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        int index = -1;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            for (int i = 0; i < m_buttons.size() && index < 0; ++i) {
                if (m_buttons[i].isDefault)
                    index = i;
            }
            // A card with one button (a failure's "OK") takes Return as well.
            if (index < 0 && m_buttons.size() == 1)
                index = 0;
        } else if (event->key() == Qt::Key_Escape) {
            index = cancelButtonIndex();
        }
        if (index >= 0) {
            event->accept();
            buttonTapped(index);
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void AlertCommon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(card, TarnColor::windowBackgroundColor());
    painter.setClipPath(card);
    painter.fillRect(m_header->geometry(), TarnColor::withOpacity(TarnColor::secondary(), 0.1));
}
