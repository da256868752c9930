#pragma once

#include <QStyledItemDelegate>

// Draws a backup row: its date, and under it the first line of its comment, if any.
class BackupRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Room kept free at the trailing end of a hovered row for its buttons.
    static constexpr int trailingRoom = 70;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The comment as one line: line breaks become blanks.
    static QString singleLine(const QString& comment);
    // The comment's colour: the secondary text colour, as opaque as a contrast of 4.5:1 needs on the
    // list's background and on a selected or hovered row.
    static QColor commentColor(const QStyleOptionViewItem& option);
};
