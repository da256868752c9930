#include "kit/controls/SymbolView.h"

#include "kit/theme/SymbolImage.h"

#include <QPainter>

SymbolView::SymbolView(const QString& symbolName, const QColor& tint, const QSize& size, QWidget* parent)
    : QWidget(parent)
    , m_symbolName(symbolName)
    , m_tint(tint)
{
    setFixedSize(size);
}

void SymbolView::setSymbolName(const QString& name)
{
    m_symbolName = name;
    update();
}

void SymbolView::setTint(const QColor& tint)
{
    m_tint = tint;
    update();
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SymbolImage::paint(&painter, rect(), m_symbolName, m_tint);
}
