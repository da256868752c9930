#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

class QTimer;
namespace rlottie {
class Animation;
}

enum class LottieLoopMode { playOnce, loop, autoReverse };

// Plays the named animation (":/animations/<fileName>.json") at its frame rate. Its drawing (what any
// of its frames covers, not the empty canvas around it) is aspect-fitted into the widget and centred.
// A missing or unreadable animation shows nothing.
class LottieView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int currentFrame READ currentFrame NOTIFY frameChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY playingChanged)

public:
    LottieView(const QString& fileName, LottieLoopMode loopMode, QWidget* parent = nullptr);
    ~LottieView() override;

    QString fileName() const { return m_fileName; }
    LottieLoopMode loopMode() const { return m_loopMode; }
    bool isLoaded() const { return bool(m_animation); }
    int totalFrames() const;
    double frameRate() const;
    int currentFrame() const { return m_frame; }
    bool isPlaying() const;

    // Scale of the drawing around the centre, and its opacity.
    void setContentScale(qreal scale);
    void setContentOpacity(qreal opacity);

    QSize sizeHint() const override;

public Q_SLOTS:
    // One frame further, as the timer does.
    void advance();

Q_SIGNALS:
    void frameChanged(int frame);
    void playingChanged(bool playing);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setPlaying(bool playing);
    // The box that the frames draw in, in the animation's own units.
    static QRectF drawingBounds(rlottie::Animation& animation);

    QString m_fileName;
    LottieLoopMode m_loopMode;
    std::unique_ptr<rlottie::Animation> m_animation;
    QTimer* m_timer = nullptr;
    int m_frame = 0;
    int m_direction = 1;
    bool m_finished = false;
    qreal m_scale = 1.0;
    qreal m_opacity = 1.0;
    QRectF m_drawing;
    QImage m_buffer;
    int m_bufferFrame = -1;
};
