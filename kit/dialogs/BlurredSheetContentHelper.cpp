#include "kit/dialogs/BlurredSheetContentHelper.h"

#include "kit/controls/ControlAccessibility.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/theme/TarnColor.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

TrendyButtonHelper* makeButton(const QString& text, std::optional<QColor> fill, TarnFont font, qreal padding,
                               qreal minWidth, Qt::Alignment alignment, bool disabled, std::function<void()> callback,
                               QWidget* parent)
{
    TrendyButtonHelper::Fields fields;
    fields.text = text;
    fields.buttonColor = std::move(fill);
    fields.textColor = TarnColor::controlBackgroundColor();
    fields.imgSize = 18;
    fields.font = font;
    fields.padding = padding;
    fields.timer = 0;
    fields.minWidth = minWidth;
    fields.alignment = alignment;
    fields.isDisabled = disabled;
    fields.callback = std::move(callback);
    return new TrendyButtonHelper(std::move(fields), parent);
}

} // namespace

BlurredSheetContentHelper::BlurredSheetContentHelper(Fields fields, QWidget* parent)
    : QWidget(parent)
    , m_fields(std::move(fields))
{
    setFocusPolicy(Qt::StrongFocus);
    ControlAccessibility::install();
    if (m_fields.maxViewWidth < QWIDGETSIZE_MAX)
        setMaximumWidth(int(m_fields.maxViewWidth));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    if (m_fields.header) {
        m_headerBand = new QWidget(this);
        auto* band = new QHBoxLayout(m_headerBand);
        band->setContentsMargins(0, 10, 0, 10);
        band->addWidget(m_fields.header, 0, Qt::AlignCenter);
        outer->addWidget(m_headerBand);
    }
    if (m_fields.content) {
        if (m_fields.isScrollable) {
            m_scrollArea = new QScrollArea(this);
            m_scrollArea->setFrameShape(QFrame::NoFrame);
            m_scrollArea->setWidgetResizable(true);
            m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            m_scrollArea->viewport()->setAutoFillBackground(false);
            m_scrollArea->setWidget(m_fields.content);
            outer->addWidget(m_scrollArea, 1);
        } else {
            m_fields.content->setParent(this);
            outer->addWidget(m_fields.content, 1);
        }
    }

    m_bar = new QWidget(this);
    auto* barLayout = new QHBoxLayout(m_bar);
    barLayout->setContentsMargins(0, 15, 0, 15);
    auto* stack = new QVBoxLayout;
    stack->setSpacing(20);
    if (m_fields.textCheckBox) {
        m_checkBox = new CheckBoxHelper(*m_fields.textCheckBox, 15, false, std::nullopt, m_bar);
        connect(m_checkBox, &CheckBoxHelper::selectionChanged, this,
                &BlurredSheetContentHelper::checkBoxSelectionChanged);
        stack->addWidget(m_checkBox, 0, Qt::AlignLeft);
    }
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(15);
    m_left = makeButton(
        m_fields.textLeft ? m_fields.textLeft() : QString(), TarnColor::red(), TarnFont::roboto_bold14, 10,
        m_fields.minWidth, m_fields.alignment, false,
        [this] {
            if (m_fields.callbackLeft)
                m_fields.callbackLeft();
        },
        m_bar);
    buttons->addWidget(m_left, 0, Qt::AlignVCenter);
    m_middle = makeButton(
        m_fields.textMiddle ? m_fields.textMiddle() : QString(), std::nullopt, TarnFont::roboto_bold14, 10,
        m_fields.minWidth, m_fields.alignment, m_fields.isMiddleDisabled,
        [this] {
            if (m_fields.callbackMiddle)
                m_fields.callbackMiddle(checkBoxSelection());
        },
        m_bar);
    connect(m_middle, &TrendyButtonHelper::disabledChanged, this, &BlurredSheetContentHelper::middleDisabledChanged);
    buttons->addWidget(m_middle, 0, Qt::AlignVCenter);
    if (m_fields.callbackRight) {
        m_right = makeButton(
            m_fields.textRight ? m_fields.textRight() : QString(), std::nullopt, TarnFont::roboto_regular14, 5,
            m_fields.minWidth, m_fields.alignment, false, [this] { m_fields.callbackRight(); }, m_bar);
        buttons->addWidget(m_right, 0, Qt::AlignVCenter);
    }
    stack->addLayout(buttons);
    barLayout->addStretch();
    barLayout->addLayout(stack);
    barLayout->addStretch();
    outer->addWidget(m_bar);
}

bool BlurredSheetContentHelper::isMiddleDisabled() const
{
    return m_middle->isDisabled();
}

void BlurredSheetContentHelper::setMiddleDisabled(bool disabled)
{
    m_fields.isMiddleDisabled = disabled;
    m_middle->setIsDisabled(disabled);
}

bool BlurredSheetContentHelper::checkBoxSelection() const
{
    return m_checkBox && m_checkBox->selection();
}

void BlurredSheetContentHelper::refreshTexts()
{
    if (m_fields.textLeft)
        m_left->setText(m_fields.textLeft());
    if (m_fields.textMiddle)
        m_middle->setText(m_fields.textMiddle());
    if (m_right && m_fields.textRight)
        m_right->setText(m_fields.textRight());
}

void BlurredSheetContentHelper::keyPressEvent(QKeyEvent* event)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            m_middle->trigger();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            m_left->trigger();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void BlurredSheetContentHelper::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), TarnColor::windowBackgroundColor());
    const QColor band = TarnColor::withOpacity(TarnColor::secondary(), 0.1);
    if (m_headerBand)
        painter.fillRect(m_headerBand->geometry(), band);
    painter.fillRect(m_bar->geometry(), band);
}
