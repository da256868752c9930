#include "kit/dialogs/CheckBoxHelper.h"

#include "kit/controls/ControlAccessibility.h"
#include "kit/theme/FocusMark.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPainter>

namespace {
constexpr qreal labelSpacing = 8;

qint64 monotonicMilliseconds()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}
} // namespace

CheckBoxHelper::CheckBoxHelper(const QString& title, qreal size, bool selection, std::optional<QColor> imgColor,
                               QWidget* parent)
    : PressableView(parent)
    , m_title(title)
    , m_size(size)
    , m_selection(selection)
    , m_imgColor(std::move(imgColor))
    , m_iconColorHex(TarnColor::iconColorHex())
    , m_font(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal))
    , m_clock(monotonicMilliseconds)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Return stays with the dialog's default action.
    setReturnRuns(false);
    ControlAccessibility::install();
}

void CheckBoxHelper::setSelection(bool selection)
{
    if (m_selection == selection)
        return;
    m_selection = selection;
    update();
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
    Q_EMIT selectionChanged(selection);
}

QColor CheckBoxHelper::symbolColor() const
{
    return m_imgColor.value_or(TarnColor::fromHex(m_iconColorHex));
}

QString CheckBoxHelper::symbolName() const
{
    return m_selection ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle");
}

bool CheckBoxHelper::isToggleEnabled() const
{
    return !m_lockedUntil || m_clock() >= *m_lockedUntil;
}

void CheckBoxHelper::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(monotonicMilliseconds);
    m_lockedUntil.reset();
}

void CheckBoxHelper::toggle()
{
    if (!isToggleEnabled())
        return;
    m_lockedUntil = m_clock() + m_lockInterval;
    setSelection(!m_selection);
    Q_EMIT toggled(m_selection);
}

QSize CheckBoxHelper::sizeHint() const
{
    qreal width = m_size;
    qreal height = m_size;
    if (!m_title.isEmpty()) {
        const QFontMetricsF metrics(m_font);
        width += labelSpacing + metrics.horizontalAdvance(m_title);
        height = qMax(height, metrics.height());
    }
    return QSizeF(std::ceil(width), std::ceil(height)).toSize();
}

void CheckBoxHelper::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal centerY = height() / 2.0;
    const QRectF symbol(0, centerY - m_size / 2, m_size, m_size);
    // Focused: a tinted disk behind the symbol and the label underlined in the mark's colour; the
    // control's bounds are its content's, so the mark stays inside them.
    const bool focused = FocusMark::isShown(this);
    if (focused) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(TarnColor::withOpacity(FocusMark::color(), 0.3));
        painter.drawEllipse(symbol);
    }
    SymbolImage::paint(&painter, symbol, symbolName(), symbolColor());
    if (!m_title.isEmpty()) {
        QFont font = m_font;
        font.setUnderline(focused);
        painter.setFont(font);
        painter.setPen(focused ? FocusMark::color() : TarnColor::secondary());
        painter.drawText(QRectF(m_size + labelSpacing, 0, width() - m_size - labelSpacing, height()),
                         Qt::AlignLeft | Qt::AlignVCenter, m_title);
    }
}
