#include "app/settings/SettingsWindow.h"

#include "app/settings/SettingsContent.h"

#include <QChildEvent>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(AppContext* appContext, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_appContext(appContext)
    , m_content(new SettingsContent(appContext, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Einstellungen"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_content);
}

void SettingsWindow::childEvent(QChildEvent* event)
{
    QWidget::childEvent(event);
    // Sheets and alerts open and close as children of the window; its size takes them into account.
    if (m_content && (event->type() == QEvent::ChildPolished || event->type() == QEvent::ChildRemoved)) {
        m_content->updateGeometry();
    }
}
