#pragma once

#include <QPropertyAnimation>
#include <QWidget>

#include <functional>

class WindowButton;
class WindowToolbar;

// The top band of the main window, drawn by the application: the title row with the close, minimise
// and zoom buttons and the title, and below it the toolbar row. The band is transparent (the window's
// background shows through) or opaque, and the title fades in and out; both animate.
class WindowChrome : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal bandOpacity READ bandOpacity WRITE setBandOpacity)
    Q_PROPERTY(qreal titleOpacity READ titleOpacity WRITE setTitleOpacity)

public:
    static constexpr int titleRowHeight = 28;
    static constexpr int toolbarRowHeight = 40;

    explicit WindowChrome(QWidget* parent = nullptr);
    ~WindowChrome() override;

    WindowButton* closeButton() const { return m_closeButton; }
    WindowButton* minimizeButton() const { return m_minimizeButton; }
    WindowButton* zoomButton() const { return m_zoomButton; }
    WindowToolbar* toolbar() const { return m_toolbar; }

    void setTitle(const QString& title);
    QString title() const { return m_title; }

    // 0: transparent, 1: opaque.
    qreal bandOpacity() const { return m_bandOpacity; }
    void setBandOpacity(qreal opacity);
    qreal titleOpacity() const { return m_titleOpacity; }
    void setTitleOpacity(qreal opacity);

    // Animates the band to `opacity`; `finished` runs when the animation reaches its end, and not
    // at all when another band animation replaces it first.
    void animateBandOpacity(qreal opacity, int durationMs, std::function<void()> finished = {});
    void animateTitleOpacity(qreal opacity, int durationMs);
    bool isAnimating() const;

    void setWindowButtonsVisible(bool visible);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static void animate(QPropertyAnimation& animation, qreal from, qreal to, int durationMs);

    WindowButton* m_closeButton;
    WindowButton* m_minimizeButton;
    WindowButton* m_zoomButton;
    WindowToolbar* m_toolbar;
    QString m_title;
    qreal m_bandOpacity = 0;
    qreal m_titleOpacity = 0;
    QPropertyAnimation m_bandAnimation;
    QPropertyAnimation m_titleAnimation;
    std::function<void()> m_bandFinished;
};
