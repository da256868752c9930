#pragma once

#include <QTabBar>

// The tab bar of the settings window: each tab shows its symbol above its label, and all tabs are
// equally wide, together the given width, so that the bar takes no more room than the tabs' contents.
// A label that would not fit widens every tab instead of being cut.
class SettingsTabBar : public QTabBar
{
    Q_OBJECT

public:
    explicit SettingsTabBar(int width, QWidget* parent = nullptr);

    // Where the tab draws its symbol and its label.
    QRect iconRect(int index) const;
    QRect labelRect(int index) const;

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The widest tab's content with the padding around it.
    QSize contentSize() const;

    int m_width;
};
