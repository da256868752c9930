#include "app/settings/SettingsView.h"

#include "app/common/AppContext.h"
#include "app/settings/PasswordView.h"
#include "app/settings/PathView.h"
#include "app/settings/SettingsTabBar.h"
#include "app/updates/UpdateView.h"
#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"

#include <QTabBar>
#include <QVBoxLayout>

SettingsView::SettingsView(AppContext* appContext, const PasswordModel& masterPassword,
                           const PasswordModel& zipPassword, QWidget* parent)
    : QTabWidget(parent)
{
    // The four tabs share the width of the pages.
    setTabBar(new SettingsTabBar(tabWidth, this));
    setDocumentMode(true);
    setIconSize(QSize(18, 18));

    m_appPasswordView = new PasswordView(appContext, masterPassword);
    m_appPasswordView->setFixedWidth(tabWidth);
    addPage(m_appPasswordView, QStringLiteral("App Passwort"), QStringLiteral("lock.desktopcomputer"));

    m_zipPasswordView = new PasswordView(appContext, zipPassword);
    m_zipPasswordView->setFixedWidth(tabWidth);
    addPage(m_zipPasswordView, QStringLiteral("Zip Passwort"), QStringLiteral("lock.rectangle.stack"));

    m_pathView = new PathView;
    m_pathView->setFixedSize(tabWidth, 200);
    addPage(m_pathView, QStringLiteral("Speicherort"), QStringLiteral("folder"));

    m_updateView = new UpdateView(appContext->updater());
    // 150 high, and more while it explains why automatic checks cannot run.
    m_updateView->setFixedWidth(tabWidth);
    m_updateView->setMinimumHeight(150);
    addPage(m_updateView, QStringLiteral("Update"), QStringLiteral("network"));

    connect(this, &QTabWidget::currentChanged, this, &QWidget::updateGeometry);
}

void SettingsView::addPage(QWidget* content, const QString& label, const QString& symbol)
{
    // The page centres its content in whatever room the tab bar leaves.
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content, 0, Qt::AlignHCenter | Qt::AlignTop);
    const QIcon icon(SymbolImage::pixmap(symbol, iconSize(), TarnColor::textColor(), devicePixelRatioF()));
    addTab(page, icon, label);
}

QSize SettingsView::sizeHint() const
{
    // Only the selected tab counts, as the window fits it.
    const QSize page = currentWidget() ? currentWidget()->sizeHint() : QSize(tabWidth, 0);
    const QSize bar = tabBar()->sizeHint();
    // In document mode the pages have no frame: they fill the width below the bar.
    return QSize(qMax(page.width(), bar.width()), page.height() + bar.height());
}

QSize SettingsView::minimumSizeHint() const
{
    return sizeHint();
}
