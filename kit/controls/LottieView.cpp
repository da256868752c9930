#include "kit/controls/LottieView.h"

#include <QFile>
#include <QPainter>
#include <QTimer>

#include <rlottie.h>

#include <cmath>

LottieView::LottieView(const QString& fileName, LottieLoopMode loopMode, QWidget* parent)
    : QWidget(parent)
    , m_fileName(fileName)
    , m_loopMode(loopMode)
{
    setAttribute(Qt::WA_TranslucentBackground);
    QFile file(QStringLiteral(":/animations/") + fileName + QStringLiteral(".json"));
    if (!fileName.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const QByteArray json = file.readAll();
        auto animation = rlottie::Animation::loadFromData(json.toStdString(), fileName.toStdString());
        if (animation && animation->totalFrame() > 0 && animation->frameRate() > 0) {
            m_drawing = drawingBounds(*animation);
            m_animation = std::move(animation);
        }
    }
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    if (m_animation)
        m_timer->setInterval(qMax(1, int(std::lround(1000.0 / m_animation->frameRate()))));
    connect(m_timer, &QTimer::timeout, this, &LottieView::advance);
}

LottieView::~LottieView() = default;

QRectF LottieView::drawingBounds(rlottie::Animation& animation)
{
    size_t width = 0, height = 0;
    animation.size(width, height);
    if (width == 0 || height == 0)
        return {};
    // Every frame drawn at a resolution of about 256 pixels, their visible pixels joined.
    const qreal scale = 256.0 / qreal(qMax(width, height));
    const QSize pixels(qMax(1, qRound(qreal(width) * scale)), qMax(1, qRound(qreal(height) * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    QRect ink;
    for (size_t frame = 0; frame < animation.totalFrame(); ++frame) {
        image.fill(Qt::transparent);
        rlottie::Surface surface(reinterpret_cast<uint32_t*>(image.bits()), size_t(pixels.width()),
                                 size_t(pixels.height()), size_t(image.bytesPerLine()));
        animation.renderSync(frame, surface, true);
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) > 0)
                    ink |= QRect(x, y, 1, 1);
            }
        }
    }
    if (ink.isEmpty())
        return QRectF(0, 0, qreal(width), qreal(height));
    return QRectF(QPointF(ink.topLeft()) / scale, QSizeF(ink.size()) / scale);
}

int LottieView::totalFrames() const
{
    return m_animation ? int(m_animation->totalFrame()) : 0;
}

double LottieView::frameRate() const
{
    return m_animation ? m_animation->frameRate() : 0.0;
}

bool LottieView::isPlaying() const
{
    return m_timer->isActive();
}

void LottieView::setContentScale(qreal scale)
{
    m_scale = scale;
    update();
}

void LottieView::setContentOpacity(qreal opacity)
{
    m_opacity = opacity;
    update();
}

QSize LottieView::sizeHint() const
{
    if (!m_animation)
        return {0, 0};
    size_t width = 0, height = 0;
    m_animation->size(width, height);
    return QSize(int(width), int(height));
}

void LottieView::advance()
{
    const int total = totalFrames();
    if (total <= 0 || m_finished)
        return;
    int next = m_frame + m_direction;
    switch (m_loopMode) {
    case LottieLoopMode::playOnce:
        if (next >= total) {
            next = total - 1;
            m_finished = true;
            setPlaying(false);
        }
        break;
    case LottieLoopMode::loop:
        if (next >= total)
            next = 0;
        break;
    case LottieLoopMode::autoReverse:
        if (next >= total || next < 0) {
            m_direction = -m_direction;
            next = qBound(0, m_frame + m_direction, total - 1);
        }
        break;
    }
    if (next == m_frame)
        return;
    m_frame = next;
    update();
    Q_EMIT frameChanged(m_frame);
}

void LottieView::setPlaying(bool playing)
{
    if (playing == m_timer->isActive())
        return;
    if (playing)
        m_timer->start();
    else
        m_timer->stop();
    Q_EMIT playingChanged(playing);
}

void LottieView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_animation && !m_finished)
        setPlaying(true);
}

void LottieView::hideEvent(QHideEvent* event)
{
    setPlaying(false);
    QWidget::hideEvent(event);
}

void LottieView::paintEvent(QPaintEvent*)
{
    if (!m_animation || width() <= 0 || height() <= 0 || m_drawing.isEmpty())
        return;
    size_t canvasWidth = 0, canvasHeight = 0;
    m_animation->size(canvasWidth, canvasHeight);
    // Logical pixels per unit of the animation, so that the drawing fits the widget.
    const qreal fit = qMin(width() / m_drawing.width(), height() / m_drawing.height());
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(qreal(canvasWidth), qreal(canvasHeight)) * fit * dpr).toSize();
    if (pixels.isEmpty())
        return;
    if (m_buffer.size() != pixels || m_bufferFrame != m_frame) {
        if (m_buffer.size() != pixels)
            m_buffer = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_buffer.fill(Qt::transparent);
        rlottie::Surface surface(reinterpret_cast<uint32_t*>(m_buffer.bits()), size_t(pixels.width()),
                                 size_t(pixels.height()), size_t(m_buffer.bytesPerLine()));
        m_animation->renderSync(size_t(m_frame), surface, true);
        m_bufferFrame = m_frame;
        m_buffer.setDevicePixelRatio(dpr);
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(m_opacity);
    const QPointF center = QRectF(rect()).center();
    painter.translate(center);
    painter.scale(m_scale, m_scale);
    // The drawing's centre on the widget's.
    painter.drawImage(-m_drawing.center() * fit, m_buffer);
}
