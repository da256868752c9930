#include "kit/controls/PopUpLottieHelper.h"

#include "kit/controls/LottieView.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

PopUpLottieHelper::PopUpLottieHelper(const QString& text, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(60, 60, 60, 60);
    layout->setSpacing(20);

    m_animation = new LottieView(QStringLiteral("paperclip_black"), LottieLoopMode::loop, this);
    m_animation->setFixedSize(25, 25);
    m_animation->setContentScale(0.55);
    m_animation->setContentOpacity(0.7);
    auto* shadow = new QGraphicsDropShadowEffect(m_animation);
    shadow->setColor(TarnColor::withOpacity(TarnColor::primary(), 0.4));
    shadow->setBlurRadius(10);
    shadow->setOffset(2, 5);
    m_animation->setGraphicsEffect(shadow);
    layout->addWidget(m_animation, 0, Qt::AlignHCenter);

    m_label = new QLabel(text, this);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 22, QFont::Normal));
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, TarnColor::secondary());
    m_label->setPalette(palette);
    layout->addWidget(m_label, 0, Qt::AlignHCenter);
}

QString PopUpLottieHelper::text() const
{
    return m_label->text();
}

void PopUpLottieHelper::setText(const QString& text)
{
    m_label->setText(text);
}

void PopUpLottieHelper::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), TarnColor::windowBackgroundColor());
}
