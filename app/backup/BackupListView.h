#pragma once

#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QUrl>

class BackupListModel;
class TrendyButtonHelper;

// The restore screen's list of backups. The row under the pointer shows an edit and a delete button
// at its trailing end; the context menu of a row offers the same two actions. From the keyboard: Tab
// into the list chooses its current row (the newest at first), the arrows choose another, the menu key
// (or Shift+F10) opens the row's menu, F2 edits its comment and Delete asks to delete it.
class BackupListView : public QListView
{
    Q_OBJECT

public:
    BackupListView(BackupListModel* model, QWidget* parent = nullptr);

    int hoverRow() const { return m_hoverRow; }
    // The row whose buttons show; -1 for none.
    void setHoverRow(int row);

    TrendyButtonHelper* editButton() const { return m_editButton; }
    TrendyButtonHelper* deleteButton() const { return m_deleteButton; }
    // The open context menu, or nullptr.
    QMenu* contextMenu() const { return m_menu; }
    // Opens the context menu of a row at a point of the viewport.
    void showContextMenu(int row, const QPoint& position);

Q_SIGNALS:
    void editRequested(const QUrl& backup);
    void deleteRequested(const QUrl& backup);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeButtons();
    void showCurrentRowMenu();
    QUrl urlAt(int row) const;

    BackupListModel* m_model;
    int m_hoverRow = -1;
    TrendyButtonHelper* m_editButton = nullptr;
    TrendyButtonHelper* m_deleteButton = nullptr;
    QPointer<QMenu> m_menu;
    // The current row before the model's rows were replaced.
    int m_rowBeforeReset = -1;
};
