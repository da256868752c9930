#pragma once

#include <QWidget>

class Updater;

// The settings tab "Update": automatic checks, automatic downloads and a manual check.
class UpdateView : public QWidget
{
    Q_OBJECT

public:
    explicit UpdateView(Updater* updater, QWidget* parent = nullptr);

private:
    Updater* m_updater;
};
