#pragma once

#include <QColor>
#include <QWidget>

// Plain text (never interpreted as rich text) wrapped over at most `maxLines` lines and cut with an
// ellipsis at the tail of the last line.
class ElidedLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = {}, int maxLines = 1, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    void setColor(const QColor& color);
    QColor color() const { return m_color; }
    void setUnderline(bool underline);
    void setAlignment(Qt::Alignment alignment);
    int maxLines() const { return m_maxLines; }

    // The lines as drawn at the current width, for tests and layout.
    QStringList visibleLines() const;
    bool isElided() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QStringList layoutLines(int width, bool* elided = nullptr) const;

    QString m_text;
    int m_maxLines;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignTop;
};
