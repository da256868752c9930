#include "app/updates/BottomUpdateView.h"

#include "app/updates/AccessoryBarButton.h"
#include "app/updates/CheckForUpdatesView.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "platform/Diagnostics.h"
#include "platform/updates/UpdateConfiguration.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QPainter>

namespace {
constexpr int trailingMargin = 4;
} // namespace

BottomUpdateView::BottomUpdateView(CheckForUpdatesViewModel* checkForUpdatesViewModel, UpdaterDelegate* updaterDelegate,
                                   QWidget* parent)
    : QWidget(parent)
    , m_checkForUpdatesViewModel(checkForUpdatesViewModel)
    , m_updaterDelegate(updaterDelegate)
    , m_versionButton(new AccessoryBarButton(this))
    , m_checkForUpdatesView(new CheckForUpdatesView(checkForUpdatesViewModel, updaterDelegate, this))
    , m_releaseNotesSite(UpdateConfiguration::releaseNotesSite())
{
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_versionButton->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal));
    m_versionButton->setText(versionText());
    m_versionButton->setIsLink(true);
    m_versionButton->setAccessibleDescription(QStringLiteral("Öffnet die Versionshinweise im Browser."));
    connect(m_versionButton, &AccessoryBarButton::clicked, this, &BottomUpdateView::openReleaseNotes);

    // The version in the middle; the offer over it at the trailing end.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(trailingMargin, 0, trailingMargin, 0);
    layout->addWidget(m_versionButton, 0, 0, Qt::AlignCenter);
    layout->addWidget(m_checkForUpdatesView, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
}

QString BottomUpdateView::versionText()
{
    const QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) {
        qCDebug(lcDiagnostics) << "Не удалось извлечь информацию о версии сборки";
        return {};
    }
    return QStringLiteral("v.") + version;
}

std::optional<QUrl> BottomUpdateView::releaseNotesUrl() const
{
    const QString version = QCoreApplication::applicationVersion();
    QString site = m_releaseNotesSite.trimmed();
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    if (version.isEmpty() || site.isEmpty())
        return std::nullopt;
    const QUrl url(site + QStringLiteral("/updates/releasenotes/") + version + QStringLiteral(".html"),
                   QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http"))
        return std::nullopt;
    return url;
}

void BottomUpdateView::openReleaseNotes()
{
    if (const std::optional<QUrl> url = releaseNotesUrl())
        QDesktopServices::openUrl(*url);
}

QSize BottomUpdateView::sizeHint() const
{
    return {400, barHeight};
}

void BottomUpdateView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), TarnColor::withOpacity(TarnColor::controlBackgroundColor(), 0.7));
}
