#pragma once

#include <QTabWidget>

class AppContext;
class PasswordView;
class PathView;
class UpdateView;
struct PasswordModel;

// The four tabs of the settings window: the app password, the archive password, the backup folder and
// updates. Its size follows the selected tab.
class SettingsView : public QTabWidget
{
    Q_OBJECT

public:
    static constexpr int tabWidth = 400;

    SettingsView(AppContext* appContext, const PasswordModel& masterPassword, const PasswordModel& zipPassword,
                 QWidget* parent = nullptr);

    PasswordView* appPasswordView() const { return m_appPasswordView; }
    PasswordView* zipPasswordView() const { return m_zipPasswordView; }
    PathView* pathView() const { return m_pathView; }
    UpdateView* updateView() const { return m_updateView; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The tabs have fixed sizes: the size hint alone decides.
    bool hasHeightForWidth() const override { return false; }

private:
    void addPage(QWidget* content, const QString& label, const QString& symbol);

    PasswordView* m_appPasswordView = nullptr;
    PasswordView* m_zipPasswordView = nullptr;
    PathView* m_pathView = nullptr;
    UpdateView* m_updateView = nullptr;
};
