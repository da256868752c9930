#pragma once

#include <QAbstractButton>

// One of the three buttons at the leading end of the window's title row: a filled circle that shows
// its glyph while the pointer is over it.
class WindowButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Kind { close, minimize, zoom };

    static constexpr int diameter = 12;

    explicit WindowButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fillColor() const;

    Kind m_kind;
};
