#pragma once

#include <QUrl>
#include <QWidget>

#include <optional>

class AccessoryBarButton;
class CheckForUpdatesView;
class CheckForUpdatesViewModel;
class UpdaterDelegate;

// The bottom bar of the main screen, 20 pixels high: the version "v." + the app's version in the middle,
// a link to its release notes, and at the trailing end the offer of a found update.
class BottomUpdateView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 20;

    BottomUpdateView(CheckForUpdatesViewModel* checkForUpdatesViewModel, UpdaterDelegate* updaterDelegate,
                     QWidget* parent = nullptr);

    // "v." + the application's version; empty when the application has no version.
    static QString versionText();
    // The site + "/updates/releasenotes/" + version + ".html", when both make a web address.
    std::optional<QUrl> releaseNotesUrl() const;
    // Test hook: the release-notes site, by default this build's configuration.
    void setReleaseNotesSite(const QString& site) { m_releaseNotesSite = site; }

    AccessoryBarButton* versionButton() const { return m_versionButton; }
    CheckForUpdatesView* checkForUpdatesView() const { return m_checkForUpdatesView; }

    QSize sizeHint() const override;

public Q_SLOTS:
    // Opens the release notes of this version in the browser; does nothing without an address.
    void openReleaseNotes();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CheckForUpdatesViewModel* m_checkForUpdatesViewModel;
    UpdaterDelegate* m_updaterDelegate;
    AccessoryBarButton* m_versionButton;
    CheckForUpdatesView* m_checkForUpdatesView;
    QString m_releaseNotesSite;
};
