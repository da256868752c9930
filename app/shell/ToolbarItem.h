#pragma once

#include <QString>
#include <QWidget>

// One item of the window's toolbar: an identifier, the texts the desktop shows for it and the
// control that stands in the toolbar (the toolbar shows icons only, so the label is not drawn).
class ToolbarItem : public QWidget
{
    Q_OBJECT

public:
    ToolbarItem(const QString& itemIdentifier, QWidget* view, QWidget* parent = nullptr);

    QString itemIdentifier() const { return m_itemIdentifier; }
    QWidget* view() const { return m_view; }

    QString label() const { return m_label; }
    void setLabel(const QString& label) { m_label = label; }
    QString paletteLabel() const { return m_paletteLabel; }
    void setPaletteLabel(const QString& label);
    // Shown over the control.
    void setItemToolTip(const QString& text);

private:
    QString m_itemIdentifier;
    QWidget* m_view;
    QString m_label;
    QString m_paletteLabel;
};
