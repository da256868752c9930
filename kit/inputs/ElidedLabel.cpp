#include "kit/inputs/ElidedLabel.h"

#include "kit/controls/ControlAccessibility.h"

#include <QAccessible>
#include <QEvent>
#include <QPainter>
#include <QTextLayout>

ElidedLabel::ElidedLabel(const QString& text, int maxLines, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_maxLines(qMax(1, maxLines))
    , m_color(palette().color(QPalette::WindowText))
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    ControlAccessibility::install();
}

void ElidedLabel::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    updateGeometry();
    update();
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void ElidedLabel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void ElidedLabel::setUnderline(bool underline)
{
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
}

void ElidedLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QStringList ElidedLabel::layoutLines(int width, bool* elided) const
{
    if (elided)
        *elided = false;
    QStringList lines;
    if (m_text.isEmpty() || width <= 0)
        return lines;
    const QFontMetrics metrics(font());
    QString text = m_text;
    text.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == m_maxLines - 1) {
            QString rest = text.mid(line.textStart());
            rest.replace(QChar::LineSeparator, u' ');
            lines << metrics.elidedText(rest, Qt::ElideRight, width);
            if (elided)
                *elided = lines.last() != rest;
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed();
    }
    layout.endLayout();
    return lines;
}

QStringList ElidedLabel::visibleLines() const
{
    return layoutLines(width());
}

bool ElidedLabel::isElided() const
{
    bool elided = false;
    layoutLines(width(), &elided);
    return elided;
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& line : m_text.split(u'\n'))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return {widest + 1, heightForWidth(widest + 1)};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("\u2026")) * 2, metrics.height()};
}

int ElidedLabel::heightForWidth(int width) const
{
    const QFontMetrics metrics(font());
    const int lines = qMax<qsizetype>(1, layoutLines(width).size());
    return lines * metrics.lineSpacing();
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const QStringList lines = visibleLines();
    const int blockHeight = int(lines.size()) * metrics.lineSpacing();
    int y = 0;
    if (m_alignment & Qt::AlignVCenter)
        y = (height() - blockHeight) / 2;
    for (const QString& line : lines) {
        const QRect lineRect(0, y, width(), metrics.lineSpacing());
        painter.drawText(lineRect, (m_alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter | Qt::TextSingleLine,
                         line);
        y += metrics.lineSpacing();
    }
}

void ElidedLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}
