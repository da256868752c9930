#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class TrendyButtonHelper;
class Updater;

// The settings tab "Update": automatic checks, automatic downloads (editable only while automatic checks
// are on, its value kept while they are off) and a check the user starts. The switches start with the
// updater's settings as they are when the view is made and write every change back. With a feed
// address that no check can use (none in this build), both switches show off and cannot be changed,
// the stored settings stay as they are, and a line below says why.
class UpdateView : public QWidget
{
    Q_OBJECT

public:
    explicit UpdateView(Updater* updater, QWidget* parent = nullptr);

    QCheckBox* automaticChecksToggle() const { return m_automaticChecks; }
    QCheckBox* automaticDownloadsToggle() const { return m_automaticDownloads; }
    TrendyButtonHelper* checkButton() const { return m_checkButton; }
    // Why automatic checks cannot run; hidden while they can.
    QLabel* reasonLabel() const { return m_reason; }

private:
    Updater* m_updater;
    QCheckBox* m_automaticChecks;
    QCheckBox* m_automaticDownloads;
    QLabel* m_reason;
    TrendyButtonHelper* m_checkButton;
};
