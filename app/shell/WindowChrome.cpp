#include "app/shell/WindowChrome.h"

#include "app/shell/WindowButton.h"
#include "app/shell/WindowToolbar.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <utility>

WindowChrome::WindowChrome(QWidget* parent)
    : QWidget(parent)
    , m_closeButton(new WindowButton(WindowButton::Kind::close))
    , m_minimizeButton(new WindowButton(WindowButton::Kind::minimize))
    , m_zoomButton(new WindowButton(WindowButton::Kind::zoom))
    , m_toolbar(new WindowToolbar)
    , m_bandAnimation(this, "bandOpacity")
    , m_titleAnimation(this, "titleOpacity")
{
    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(12, 0, 12, 0);
    titleRow->setSpacing(8);
    titleRow->addWidget(m_closeButton, 0, Qt::AlignVCenter);
    titleRow->addWidget(m_minimizeButton, 0, Qt::AlignVCenter);
    titleRow->addWidget(m_zoomButton, 0, Qt::AlignVCenter);
    titleRow->addStretch();

    auto* titleRowWidget = new QWidget;
    titleRowWidget->setFixedHeight(titleRowHeight);
    titleRowWidget->setLayout(titleRow);
    m_toolbar->setFixedHeight(toolbarRowHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(titleRowWidget);
    column->addWidget(m_toolbar);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_bandAnimation.setEasingCurve(Motion::easeInOut());
    m_titleAnimation.setEasingCurve(Motion::easeInOut());
    connect(&m_bandAnimation, &QPropertyAnimation::finished, this, [this] {
        if (auto finished = std::exchange(m_bandFinished, {})) {
            finished();
        }
    });
}

WindowChrome::~WindowChrome() = default;

QSize WindowChrome::sizeHint() const
{
    return {QWidget::sizeHint().width(), titleRowHeight + toolbarRowHeight};
}

void WindowChrome::setTitle(const QString& title)
{
    m_title = title;
    update();
}

void WindowChrome::setBandOpacity(qreal opacity)
{
    m_bandOpacity = opacity;
    update();
}

void WindowChrome::setTitleOpacity(qreal opacity)
{
    m_titleOpacity = opacity;
    update(QRect(0, 0, width(), titleRowHeight));
}

void WindowChrome::animate(QPropertyAnimation& animation, qreal from, qreal to, int durationMs)
{
    animation.stop();
    animation.setDuration(qMax(0, durationMs));
    animation.setStartValue(from);
    animation.setEndValue(to);
    animation.start();
}

void WindowChrome::animateBandOpacity(qreal opacity, int durationMs, std::function<void()> finished)
{
    // Stopping the running animation does not finish it: its completion is dropped.
    m_bandAnimation.stop();
    m_bandFinished = std::move(finished);
    animate(m_bandAnimation, m_bandOpacity, opacity, durationMs);
}

void WindowChrome::animateTitleOpacity(qreal opacity, int durationMs)
{
    animate(m_titleAnimation, m_titleOpacity, opacity, durationMs);
}

bool WindowChrome::isAnimating() const
{
    return m_bandAnimation.state() == QAbstractAnimation::Running ||
        m_titleAnimation.state() == QAbstractAnimation::Running;
}

void WindowChrome::setWindowButtonsVisible(bool visible)
{
    m_closeButton->setVisible(visible);
    m_minimizeButton->setVisible(visible);
    m_zoomButton->setVisible(visible);
}

void WindowChrome::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_bandOpacity > 0) {
        painter.fillRect(rect(), TarnColor::withOpacity(TarnColor::controlBackgroundColor(), m_bandOpacity));
        painter.fillRect(QRect(0, height() - 1, width(), 1),
                         TarnColor::withOpacity(TarnColor::secondary(), 0.35 * m_bandOpacity));
    }
    if (m_titleOpacity > 0 && !m_title.isEmpty()) {
        painter.setOpacity(m_titleOpacity);
        painter.setPen(TarnColor::textColor());
        painter.setFont(FontFaces::systemFont(13, QFont::DemiBold));
        painter.drawText(QRect(0, 0, width(), titleRowHeight), Qt::AlignCenter, m_title);
    }
}
