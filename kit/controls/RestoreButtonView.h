#pragma once

#include "kit/controls/PressableView.h"

#include <QColor>

#include <functional>
#include <optional>

class QVariantAnimation;

// A row of the main menu: a round symbol badge, a bold title over a grey subtitle, on a light capsule.
// Hovering (animated) enlarges the badge and swaps its colours, underlines the title and slides the
// texts 5 pixels to the left. A click runs the action; without one the row only reacts to hovering.
// A row with an action is reached with Tab, shows a ring while focused, and Space or Return runs it.
class RestoreButtonView : public PressableView
{
    Q_OBJECT
    Q_PROPERTY(qreal hoverProgress READ hoverProgress WRITE setHoverProgress)

public:
    RestoreButtonView(const QString& iconName, const QString& title, const QString& subTitle,
                      std::optional<QColor> color, std::function<void()> action, QWidget* parent = nullptr);

    bool isHover() const { return isHovered(); }
    void setHover(bool hover) { setHovered(hover); }
    // 0 at rest, 1 hovered; animated between the two.
    qreal hoverProgress() const { return m_progress; }
    void setHoverProgress(qreal progress);

    QColor rowColor() const;
    bool hasAction() const { return bool(m_action); }
    QString title() const { return m_title; }
    QString subTitle() const { return m_subTitle; }
    // Values of the current frame.
    qreal symbolSize() const;
    qreal diskSize() const;
    qreal textOffset() const;
    qreal backgroundOpacity() const;

    QSize sizeHint() const override;

protected:
    bool isPressable() const override { return bool(m_action); }
    void run() override;
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList subtitleLines() const;
    void animateHover(bool hover);

    QString m_iconName;
    QString m_title;
    QString m_subTitle;
    std::optional<QColor> m_color;
    std::function<void()> m_action;
    QFont m_titleFont;
    QFont m_subtitleFont;
    qreal m_progress = 0;
    QVariantAnimation* m_animation = nullptr;
};
