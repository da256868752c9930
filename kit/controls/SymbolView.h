#pragma once

#include <QColor>
#include <QWidget>

// A system symbol by name, tinted and aspect-fitted into the widget. An unknown or empty name leaves the
// space empty.
class SymbolView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString symbolName READ symbolName WRITE setSymbolName)
    Q_PROPERTY(QColor tint READ tint WRITE setTint)

public:
    SymbolView(const QString& symbolName, const QColor& tint, const QSize& size, QWidget* parent = nullptr);

    QString symbolName() const { return m_symbolName; }
    void setSymbolName(const QString& name);
    QColor tint() const { return m_tint; }
    void setTint(const QColor& tint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbolName;
    QColor m_tint;
};
