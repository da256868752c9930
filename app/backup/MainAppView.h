#pragma once

#include <QWidget>

class AppDelegate;

// The screen of the logged-in user: the menu of backup actions, their sheets, the result line and
// the bottom update bar.
class MainAppView : public QWidget
{
    Q_OBJECT

public:
    explicit MainAppView(AppDelegate* appDelegate, QWidget* parent = nullptr);

private:
    AppDelegate* m_appDelegate;
};
