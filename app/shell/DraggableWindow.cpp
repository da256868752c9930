#include "app/shell/DraggableWindow.h"

DraggableWindow::DraggableWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Tarn-Backup-Manager"));
    resize(900, 500);
}

DraggableWindow::~DraggableWindow() = default;

void DraggableWindow::shake() { }
