#pragma once

#include <QWidget>

class LottieView;
class QLabel;

// A card with a small looping paper-clip animation above a line of text.
class PopUpLottieHelper : public QWidget
{
    Q_OBJECT

public:
    explicit PopUpLottieHelper(const QString& text, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    LottieView* animationView() const { return m_animation; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LottieView* m_animation = nullptr;
    QLabel* m_label = nullptr;
};
