#pragma once

#include <QAbstractButton>
#include <QColor>

// The button of a toolbar item: no title, a tinted symbol scaled down to fit, and a rounded bezel
// that shows while the pointer is over it or it is pressed.
class ToolbarButton : public QAbstractButton
{
    Q_OBJECT

public:
    ToolbarButton(const QString& symbolName, const QColor& tint, const QSize& size, QWidget* parent = nullptr);

    QString symbolName() const { return m_symbolName; }
    QColor tint() const { return m_tint; }
    bool hasImage() const { return !m_symbolName.isEmpty(); }

    QSize sizeHint() const override { return m_size; }
    QSize minimumSizeHint() const override { return m_size; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbolName;
    QColor m_tint;
    QSize m_size;
};
