#include "kit/dialogs/SheetOverlay.h"

#include "kit/theme/TarnColor.h"

#include <QAction>
#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QResizeEvent>
#include <QShortcut>

namespace {

constexpr int cardMargin = 12;

// A cheap, smooth blur: shrink, then scale back up with bilinear filtering, twice.
QImage blurred(const QImage& source)
{
    if (source.isNull())
        return source;
    QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize full = image.size();
    for (int pass = 0; pass < 2; ++pass) {
        const QSize small = (full / 8).expandedTo(QSize(1, 1));
        image = image.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .scaled(full, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

bool isInputEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::Enter:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

SheetOverlay* SheetOverlay::present(QWidget* host, QWidget* card)
{
    Q_ASSERT(host && card);
    return new SheetOverlay(host, card);
}

SheetOverlay::SheetOverlay(QWidget* host, QWidget* card)
    : QWidget(host->window())
    , m_host(host)
    , m_card(card)
{
    QWidget* window = host->window();
    // The snapshot holds the window as it is now, lower overlays included.
    m_backdrop = blurred(window->grab().toImage());

    setAttribute(Qt::WA_NoMousePropagation);
    setFocusPolicy(Qt::NoFocus);
    card->setParent(this);
    if (!card->graphicsEffect()) {
        auto* shadow = new QGraphicsDropShadowEffect(card);
        shadow->setColor(QColor(0, 0, 0, 80));
        shadow->setBlurRadius(24);
        shadow->setOffset(0, 8);
        card->setGraphicsEffect(shadow);
    }
    if (card->focusPolicy() == Qt::NoFocus)
        card->setFocusPolicy(Qt::StrongFocus);

    // The window's own focus, not a popup's (a context menu that opened this card is closing).
    m_previousFocus = window->focusWidget();
    setGeometry(window->rect());
    // One application-wide filter sees the window's input, its resizes and the host's hiding.
    qApp->installEventFilter(this);
    connect(host, &QObject::destroyed, this, [this] {
        m_host = nullptr;
        dismiss();
    });
    // Placed and on top before it shows: a card that the content raises as it appears (from its show
    // event) is raised after this one, so it is drawn above it, and its snapshot holds this card.
    card->ensurePolished();
    placeCard();
    raise();
    show();
    placeCard();
    card->show();
    // What the content focused as it appeared (an editor asking for the keyboard) keeps the focus.
    QWidget* focused = window->focusWidget();
    if (!focused || !card->isAncestorOf(focused))
        card->setFocus(Qt::PopupFocusReason);
}

SheetOverlay::~SheetOverlay()
{
    qApp->removeEventFilter(this);
}

SheetOverlay* SheetOverlay::enclosing(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* overlay = qobject_cast<SheetOverlay*>(const_cast<QWidget*>(w)))
            return overlay;
    }
    return nullptr;
}

QList<SheetOverlay*> SheetOverlay::overlays(const QWidget* window)
{
    QList<SheetOverlay*> result;
    if (!window)
        return result;
    for (QObject* child : window->children()) {
        auto* overlay = qobject_cast<SheetOverlay*>(child);
        if (overlay && !overlay->m_dismissed)
            result << overlay;
    }
    return result;
}

void SheetOverlay::dismissAll(const QWidget* window)
{
    const QList<SheetOverlay*> open = overlays(window);
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        (*it)->dismiss();
}

bool SheetOverlay::isTopmost() const
{
    const QList<SheetOverlay*> open = overlays(parentWidget());
    return !open.isEmpty() && open.last() == this;
}

void SheetOverlay::dismiss()
{
    if (m_dismissed)
        return;
    m_dismissed = true;
    qApp->removeEventFilter(this);
    // The focus goes back before the card hides, so that hiding moves it nowhere else first.
    if (m_previousFocus && m_previousFocus->isVisible())
        m_previousFocus->setFocus(Qt::PopupFocusReason);
    hide();
    if (m_host)
        Q_EMIT dismissed();
    deleteLater();
}

QSize SheetOverlay::cardSize(const QWidget* card, const QSize& room)
{
    // The card's minimum and maximum sizes win: setGeometry() would enforce them anyway.
    const auto fit = [](int wanted, int lowest, int highest) { return qMax(lowest, qMin(wanted, highest)); };
    const QSize lowest = card->minimumSize();
    const QSize highest = card->maximumSize();
    const QSize hint = card->sizeHint().expandedTo(card->minimumSizeHint());
    const int width = fit(qMin(hint.width(), room.width()), lowest.width(), highest.width());
    const int height = card->hasHeightForWidth() ? card->heightForWidth(width) : hint.height();
    return {width, fit(qMin(height, room.height()), lowest.height(), highest.height())};
}

void SheetOverlay::placeCard()
{
    if (!m_card)
        return;
    const QSize room = (size() - QSize(2 * cardMargin, 2 * cardMargin)).expandedTo(QSize(0, 0));
    const QSize card = cardSize(m_card, room);
    m_card->setGeometry(QRect(QPoint((width() - card.width()) / 2, (height() - card.height()) / 2), card));
}

bool SheetOverlay::blocks(QObject* receiver) const
{
    QWidget* widget = qobject_cast<QWidget*>(receiver);
    if (!widget) {
        // Shortcuts and actions of the window's other widgets.
        if (auto* shortcut = qobject_cast<QShortcut*>(receiver))
            widget = qobject_cast<QWidget*>(shortcut->parent());
        else if (auto* action = qobject_cast<QAction*>(receiver))
            widget = qobject_cast<QWidget*>(action->parent());
    }
    if (!widget || widget->window() != parentWidget())
        return false;
    return widget != this && !isAncestorOf(widget);
}

bool SheetOverlay::event(QEvent* event)
{
    // The card's layout changed what it asks for; the overlay has no layout to pass it on.
    if (event->type() == QEvent::LayoutRequest)
        placeCard();
    return QWidget::event(event);
}

bool SheetOverlay::focusNextPrevChild(bool next)
{
    if (m_dismissed)
        return QWidget::focusNextPrevChild(next);
    // Tab stays within the card: its controls in focus-chain order, wrapping around at either end.
    QList<QWidget*> controls;
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (w != m_card && isAncestorOf(w) && w->isVisibleTo(this) && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            controls << w;
    }
    if (controls.isEmpty())
        return true;
    QWidget* current = window()->focusWidget();
    const qsizetype at = controls.indexOf(current);
    qsizetype target = 0;
    if (at < 0)
        target = next ? 0 : controls.size() - 1;
    else
        target = (at + (next ? 1 : controls.size() - 1)) % controls.size();
    controls.at(target)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool SheetOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (m_dismissed)
        return false;
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        return false;
    }
    if (watched == m_host && event->type() == QEvent::Hide && !event->spontaneous()) {
        dismiss();
        return false;
    }
    if (!isInputEvent(event->type()) && event->type() != QEvent::FocusIn)
        return false;
    if (!isTopmost() || !blocks(watched))
        return false;
    if (event->type() == QEvent::FocusIn) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_card || m_dismissed)
                    return;
                // Back to what had the focus in the card (the editor), else the card itself.
                QWidget* target = m_card->focusWidget();
                if (!target || !m_card->isAncestorOf(target))
                    target = m_card;
                target->setFocus(Qt::PopupFocusReason);
            },
            Qt::QueuedConnection);
        return false;
    }
    return true;
}

void SheetOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_backdrop.isNull())
        painter.drawImage(QRectF(rect()), m_backdrop);
    // Thin material: the blurred window under a light veil of the window colour.
    painter.fillRect(rect(), TarnColor::withOpacity(TarnColor::windowBackgroundColor(), 0.55));
}

void SheetOverlay::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeCard();
}
