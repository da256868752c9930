#include "kit/inputs/TextFieldButtonHelper.h"

#include "kit/theme/FocusMark.h"
#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"

#include <QPainter>
#include <QtMath>

namespace {
constexpr int kSpacing = 8;
} // namespace

TextFieldButtonHelper::TextFieldButtonHelper(const QString& iconName, const std::optional<QString>& text,
                                             const QColor& color, qreal size, std::function<void()> callback,
                                             QWidget* parent)
    : QAbstractButton(parent)
    , m_iconName(iconName)
    , m_text(text)
    , m_color(color)
    , m_size(size)
    , m_callback(std::move(callback))
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
    setFont(TarnFont(TarnFont::roboto_regular12).font());
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_callback)
            m_callback();
    });
}

void TextFieldButtonHelper::setIconName(const QString& iconName)
{
    if (m_iconName == iconName)
        return;
    m_iconName = iconName;
    update();
}

QSize TextFieldButtonHelper::sizeHint() const
{
    const int side = qCeil(m_size);
    if (!m_text)
        return {side, side};
    const QFontMetrics metrics(font());
    return {side + kSpacing + metrics.horizontalAdvance(*m_text), qMax(side, metrics.height())};
}

QRectF TextFieldButtonHelper::symbolRect() const
{
    // A frame wider than the content (the password field gives its eye 30 points) centres it.
    const qreal left = qMax(0.0, (width() - sizeHint().width()) / 2.0);
    return {left, (height() - m_size) / 2, m_size, m_size};
}

void TextFieldButtonHelper::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (FocusMark::isShown(this))
        FocusMark::paintPatch(&painter, QRectF(rect()).adjusted(1, 1, -1, -1), 4);
    const QColor color = isEnabled() ? m_color : TarnColor::withOpacity(m_color, 0.4);
    const QRectF symbol = symbolRect();
    SymbolImage::paint(&painter, symbol, m_iconName, color);
    if (m_text) {
        painter.setPen(color);
        painter.setFont(font());
        const QRectF textRect = QRectF(rect()).adjusted(symbol.left() + qCeil(m_size) + kSpacing, 0, 0, 0);
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, *m_text);
    }
}
