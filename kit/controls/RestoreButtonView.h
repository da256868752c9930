#pragma once

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

// A row of the main menu: a round symbol badge, a bold title over a grey subtitle, on a light capsule.
// Hovering (animated) enlarges the badge and swaps its colours, underlines the title and slides the
// texts 5 pixels to the left. A click runs the action; without one the row only reacts to hovering.
// A row with an action is reached with Tab, shows a ring while focused, and Space or Return runs it.
class RestoreButtonView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool isHover READ isHover WRITE setHover NOTIFY hoverChanged)
    Q_PROPERTY(qreal hoverProgress READ hoverProgress WRITE setHoverProgress)

public:
    RestoreButtonView(const QString& iconName, const QString& title, const QString& subTitle,
                      std::optional<QColor> color, std::function<void()> action, QWidget* parent = nullptr);

    bool isHover() const { return m_hover; }
    void setHover(bool hover);
    // 0 at rest, 1 hovered; animated between the two.
    qreal hoverProgress() const { return m_progress; }
    void setHoverProgress(qreal progress);

    QColor rowColor() const;
    bool hasAction() const { return bool(m_action); }
    QString title() const { return m_title; }
    QString subTitle() const { return m_subTitle; }
    // What a click does: runs the action, if any.
    void click();

    // Values of the current frame.
    qreal symbolSize() const;
    qreal diskSize() const;
    qreal textOffset() const;
    qreal backgroundOpacity() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void hoverChanged(bool hover);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStringList subtitleLines() const;

    QString m_iconName;
    QString m_title;
    QString m_subTitle;
    std::optional<QColor> m_color;
    std::function<void()> m_action;
    QFont m_titleFont;
    QFont m_subtitleFont;
    bool m_hover = false;
    bool m_pressed = false;
    qreal m_progress = 0;
    QVariantAnimation* m_animation = nullptr;
};
