#include "app/backup/BackupRowDelegate.h"

#include "app/backup/BackupListModel.h"
#include "kit/theme/FocusMark.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int horizontalPadding = 10;
constexpr int verticalPadding = 6;
constexpr int lineGap = 2;

QFont dateFont()
{
    return FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 14, QFont::Normal);
}

QFont commentFont()
{
    return FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal);
}

// The fill of a selected or hovered row.
QColor rowFill(bool selected)
{
    return TarnColor::withOpacity(TarnColor::accentColor(), selected ? 0.25 : 0.08);
}

} // namespace

QColor BackupRowDelegate::commentColor(const QStyleOptionViewItem& option)
{
    const QColor base = option.palette.color(QPalette::Base);
    return TarnColor::legibleOn(TarnColor::withOpacity(TarnColor::secondary(), 0.7),
                                {base, TarnColor::over(rowFill(true), base), TarnColor::over(rowFill(false), base)});
}

QString BackupRowDelegate::singleLine(const QString& comment)
{
    QString line = comment;
    for (QChar& c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return line;
}

QSize BackupRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    // One height for all rows, so that the list never reads every comment to lay itself out.
    const int height = QFontMetrics(dateFont()).height() + lineGap + QFontMetrics(commentFont()).height();
    return {200, height + 2 * verticalPadding};
}

void BackupRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF row = QRectF(option.rect).adjusted(2, 1, -2, -1);
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;
    if (selected || hovered) {
        QPainterPath shape;
        shape.addRoundedRect(row, 5, 5);
        painter->fillPath(shape, rowFill(selected));
    }
    // The row the keyboard is on, once the window is navigated by keyboard.
    if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange))
        FocusMark::paintRing(painter, row, 5, FocusMark::color());

    const QRect text = option.rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const QVariant comment = index.data(BackupListModel::CommentRole);
    const QFont date = dateFont();
    const QFontMetrics dateMetrics(date);
    painter->setFont(date);
    painter->setPen(TarnColor::primary());
    // The date takes the same place in every row, with a comment or without, so that rows read evenly.
    painter->drawText(QRect(text.left(), text.top(), text.width(), dateMetrics.height()), Qt::AlignLeft | Qt::AlignTop,
                      index.data(BackupListModel::DateTextRole).toString());
    if (!comment.isValid()) {
        painter->restore();
        return;
    }

    const QFont small = commentFont();
    const QFontMetrics smallMetrics(small);
    const int width = text.width() - (hovered ? trailingRoom : 0);
    painter->setFont(small);
    painter->setPen(commentColor(option));
    painter->drawText(QRect(text.left(), text.top() + dateMetrics.height() + lineGap, width, smallMetrics.height()),
                      Qt::AlignLeft | Qt::AlignTop,
                      smallMetrics.elidedText(singleLine(comment.toString()), Qt::ElideRight, width));
    painter->restore();
}
