#include "app/backup/BackupListView.h"

#include "app/backup/BackupListModel.h"
#include "app/backup/BackupRowDelegate.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace {

constexpr int buttonSize = 26;
constexpr int buttonGap = 6;

struct RowAction
{
    QString title;
    QString symbol;
    QString toolTip;
    QColor tint;
};

RowAction editAction()
{
    return {QStringLiteral("edit"), QStringLiteral("square.and.pencil"), QStringLiteral("Bearbeiten"),
            TarnColor::green()};
}

RowAction deleteAction()
{
    return {QStringLiteral("delete"), QStringLiteral("trash.fill"), QStringLiteral("delete"), TarnColor::red()};
}

TrendyButtonHelper* makeButton(const RowAction& action, std::function<void()> callback, QWidget* parent)
{
    TrendyButtonHelper::Fields fields;
    fields.buttonColor = action.tint;
    fields.textColor = TarnColor::controlBackgroundColor();
    fields.iconName = action.symbol;
    fields.iconColor = TarnColor::controlBackgroundColor();
    fields.imgSize = 14;
    fields.padding = 6;
    fields.callback = std::move(callback);
    auto* button = new TrendyButtonHelper(std::move(fields), parent);
    button->setToolTip(action.toolTip);
    button->setAccessibleName(action.title);
    button->setFixedSize(buttonSize, buttonSize);
    button->hide();
    return button;
}

} // namespace

BackupListView::BackupListView(BackupListModel* model, QWidget* parent)
    : QListView(parent)
    , m_model(model)
{
    setModel(model);
    setItemDelegate(new BackupRowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_Hover);

    m_editButton = makeButton(
        editAction(), [this] { Q_EMIT editRequested(urlAt(m_hoverRow)); }, viewport());
    m_deleteButton = makeButton(
        deleteAction(), [this] { Q_EMIT deleteRequested(urlAt(m_hoverRow)); }, viewport());

    setAccessibleName(QStringLiteral("Backups"));

    // New rows (a backup deleted, added) keep the keyboard's place: the row at the same position, or
    // the last one, so that the focus mark stays in the list.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_rowBeforeReset = currentIndex().row(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        setHoverRow(-1);
        const int rows = m_model->rowCount();
        if (m_rowBeforeReset >= 0 && rows > 0 && selectionModel())
            selectionModel()->setCurrentIndex(m_model->index(qMin(m_rowBeforeReset, rows - 1)),
                                              QItemSelectionModel::NoUpdate);
        m_rowBeforeReset = -1;
    });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { setHoverRow(-1); });
}

QUrl BackupListView::urlAt(int row) const
{
    return m_model->urlAt(row);
}

void BackupListView::setHoverRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        row = -1;
    m_hoverRow = row;
    placeButtons();
}

void BackupListView::placeButtons()
{
    const QRect rect = m_hoverRow < 0 ? QRect() : visualRect(m_model->index(m_hoverRow));
    if (!rect.isValid() || !viewport()->rect().intersects(rect)) {
        m_editButton->hide();
        m_deleteButton->hide();
        return;
    }
    const int top = rect.center().y() - buttonSize / 2 + 1;
    const int right = qMin(rect.right(), viewport()->width()) - 10;
    m_deleteButton->move(right - buttonSize + 1, top);
    m_editButton->move(right - 2 * buttonSize - buttonGap + 1, top);
    m_editButton->show();
    m_deleteButton->show();
}

void BackupListView::mouseMoveEvent(QMouseEvent* event)
{
    QListView::mouseMoveEvent(event);
    setHoverRow(indexAt(event->position().toPoint()).row());
}

bool BackupListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        setHoverRow(-1);
    return QListView::viewportEvent(event);
}

void BackupListView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    placeButtons();
}

void BackupListView::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    placeButtons();
}

void BackupListView::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard) {
        event->accept();
        showCurrentRowMenu();
        return;
    }
    const int row = indexAt(event->pos()).row();
    if (row < 0)
        return;
    event->accept();
    showContextMenu(row, event->pos());
}

void BackupListView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const QUrl current = urlAt(currentIndex().row());
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        event->accept();
        showCurrentRowMenu();
        return;
    }
    if (modifiers == Qt::NoModifier && !current.isEmpty() &&
        (event->key() == Qt::Key_F2 || event->key() == Qt::Key_Delete)) {
        event->accept();
        if (event->key() == Qt::Key_F2)
            Q_EMIT editRequested(current);
        else
            Q_EMIT deleteRequested(current);
        return;
    }
    QListView::keyPressEvent(event);
}

void BackupListView::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    // Arriving by keyboard with nothing chosen: the row the focus mark is on is the chosen one, so that
    // the sheet's action can run at once.
    const bool byKeyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
        event->reason() == Qt::ShortcutFocusReason;
    if (byKeyboard && selectionModel() && !selectionModel()->hasSelection() && currentIndex().isValid())
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
}

void BackupListView::showCurrentRowMenu()
{
    const QModelIndex current = currentIndex();
    if (current.isValid())
        showContextMenu(current.row(), visualRect(current).center());
}

void BackupListView::showContextMenu(int row, const QPoint& position)
{
    const QUrl backup = urlAt(row);
    if (backup.isEmpty())
        return;
    if (m_menu)
        m_menu->close();
    m_menu = new QMenu(this);
    m_menu->setAttribute(Qt::WA_DeleteOnClose);
    const qreal ratio = devicePixelRatioF();
    using Request = void (BackupListView::*)(const QUrl&);
    const std::pair<RowAction, Request> entries[] = {{editAction(), &BackupListView::editRequested},
                                                     {deleteAction(), &BackupListView::deleteRequested}};
    for (const auto& [action, request] : entries) {
        QAction* item = m_menu->addAction(QIcon(SymbolImage::pixmap(action.symbol, QSizeF(16, 16), action.tint, ratio)),
                                          action.title);
        item->setToolTip(action.toolTip);
        connect(item, &QAction::triggered, this, [this, backup, request] { Q_EMIT(this->*request)(backup); });
    }
    m_menu->popup(viewport()->mapToGlobal(position));
}
