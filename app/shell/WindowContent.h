#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

class AppDelegate;
class MainAppView;
class PasswordEntryView;
class WarningTextHelper;

// The content of the main window: the login screen (with its red warning line) while the user is
// logged out, the main screen while logged in. A change of the delegate's authentication flag slides
// one out and the other in; each screen, once it has appeared, asks for the window's matching look.
// Nothing shows until the delegate publishes its first state.
class WindowContent : public QWidget
{
    Q_OBJECT

public:
    enum class Branch { none, login, main };

    explicit WindowContent(AppDelegate* appDelegate, QWidget* parent = nullptr);
    ~WindowContent() override;

    Branch branch() const { return m_branch; }
    bool isSliding() const { return m_slide.state() == QAbstractAnimation::Running; }

    // The current screens; null while their branch is not shown.
    QWidget* loginBranch() const;
    PasswordEntryView* passwordEntryView() const;
    WarningTextHelper* warningLine() const;
    MainAppView* mainAppView() const;

    std::optional<QString> warningText() const { return m_warningText; }

Q_SIGNALS:
    void branchChanged(WindowContent::Branch branch);
    void slideFinished();
    // A screen's request for the window's look was carried out, with the look of that moment.
    void windowStyleApplied(bool unlocked);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void follow(bool authenticated);
    QWidget* makeLoginBranch();
    QWidget* makeMainBranch();
    void finishSlide();
    void placeBranches(qreal progress);
    void requestWindowStyle();
    void setWarningText(const std::optional<QString>& text);

    AppDelegate* m_appDelegate;
    Branch m_branch = Branch::none;
    QPointer<QWidget> m_loginBranch;
    QPointer<PasswordEntryView> m_passwordEntryView;
    QPointer<WarningTextHelper> m_warningLine;
    QPointer<MainAppView> m_mainAppView;
    // While sliding: the screen that leaves.
    QPointer<QWidget> m_outgoing;
    QVariantAnimation m_slide;
    std::optional<QString> m_warningText;
};
