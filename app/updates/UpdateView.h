#pragma once

#include <QWidget>

class QCheckBox;
class TrendyButtonHelper;
class Updater;

// The settings tab "Update": automatic checks, automatic downloads (editable only while automatic checks
// are on, its value kept while they are off) and a check the user starts. The switches start with the
// updater's settings as they are when the view is made and write every change back.
class UpdateView : public QWidget
{
    Q_OBJECT

public:
    explicit UpdateView(Updater* updater, QWidget* parent = nullptr);

    QCheckBox* automaticChecksToggle() const { return m_automaticChecks; }
    QCheckBox* automaticDownloadsToggle() const { return m_automaticDownloads; }
    TrendyButtonHelper* checkButton() const { return m_checkButton; }

private:
    Updater* m_updater;
    QCheckBox* m_automaticChecks;
    QCheckBox* m_automaticDownloads;
    TrendyButtonHelper* m_checkButton;
};
