#include "app/shell/WindowContent.h"

#include "app/backup/MainAppView.h"
#include "app/common/ShellTimings.h"
#include "app/login/PasswordEntryView.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/DraggableWindow.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"

#include <QGridLayout>
#include <QTimer>

WindowContent::WindowContent(AppDelegate* appDelegate, QWidget* parent)
    : QWidget(parent)
    , m_appDelegate(appDelegate)
{
    m_slide.setStartValue(0.0);
    m_slide.setEndValue(1.0);
    m_slide.setEasingCurve(Motion::easeInOut());
    connect(&m_slide, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { placeBranches(value.toReal()); });
    connect(&m_slide, &QVariantAnimation::finished, this, &WindowContent::finishSlide);
    connect(m_appDelegate, &AppDelegate::isAuthenticatedChanged, this, &WindowContent::follow);
}

WindowContent::~WindowContent() = default;

QWidget* WindowContent::loginBranch() const
{
    return m_loginBranch;
}

PasswordEntryView* WindowContent::passwordEntryView() const
{
    return m_passwordEntryView;
}

WarningTextHelper* WindowContent::warningLine() const
{
    return m_warningLine;
}

MainAppView* WindowContent::mainAppView() const
{
    return m_mainAppView;
}

void WindowContent::follow(bool authenticated)
{
    const Branch target = authenticated ? Branch::main : Branch::login;
    if (target == m_branch) {
        return;
    }
    if (isSliding()) {
        m_slide.stop();
        finishSlide();
    }
    const Branch previous = m_branch;
    QWidget* leaving = previous == Branch::main ? static_cast<QWidget*>(m_mainAppView) : m_loginBranch.data();
    m_branch = target;
    QWidget* arriving = authenticated ? makeMainBranch() : makeLoginBranch();
    arriving->setGeometry(rect());
    if (m_mainAppView) {
        m_mainAppView->raise(); // the main screen lies above the login screen while both show
    }
    arriving->show();

    if (previous == Branch::none) {
        placeBranches(1.0);
    } else {
        m_outgoing = leaving;
        m_slide.setDuration(qMax(1, ShellTimings::slideMs));
        placeBranches(0.0);
        m_slide.start();
    }
    // The request applies the look of the state when it fires, so overlapping requests of a quick
    // login and logout end in the right look.
    QTimer::singleShot(authenticated ? ShellTimings::mainRestyleDelayMs : ShellTimings::loginRestyleDelayMs, this,
                       &WindowContent::requestWindowStyle);
    Q_EMIT branchChanged(m_branch);
}

QWidget* WindowContent::makeLoginBranch()
{
    auto* branch = new QWidget(this);
    auto* stack = new QGridLayout(branch);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    Binding<bool> isAuthenticated(
        [delegate = m_appDelegate] { return delegate->isAuthenticated(); },
        [delegate = m_appDelegate](const bool& value) { delegate->setIsAuthenticated(value); });
    Binding<std::optional<QString>> warningText([this] { return m_warningText; },
                                                [this](const std::optional<QString>& text) { setWarningText(text); });
    m_passwordEntryView = new PasswordEntryView(m_appDelegate, isAuthenticated, warningText, branch);
    m_warningLine =
        new WarningTextHelper(Binding<std::optional<QString>>::to(&m_warningText), TarnColor::red(), branch);
    m_warningLine->setClearDelay(ShellTimings::warningResetMs);
    stack->addWidget(m_passwordEntryView, 0, 0);
    stack->addWidget(m_warningLine, 0, 0, Qt::AlignBottom);
    m_loginBranch = branch;
    return branch;
}

QWidget* WindowContent::makeMainBranch()
{
    // A login warning belongs to the login screen; it does not come back with the next one.
    setWarningText(std::nullopt);
    m_mainAppView = new MainAppView(m_appDelegate, this);
    return m_mainAppView;
}

void WindowContent::setWarningText(const std::optional<QString>& text)
{
    m_warningText = text;
    if (m_warningLine) {
        m_warningLine->refresh();
    }
}

void WindowContent::finishSlide()
{
    placeBranches(1.0);
    if (m_outgoing) {
        m_outgoing->hide();
        m_outgoing->deleteLater();
    }
    m_outgoing = nullptr;
    Q_EMIT slideFinished();
}

void WindowContent::placeBranches(qreal progress)
{
    const int w = width();
    QWidget* current = m_branch == Branch::main ? static_cast<QWidget*>(m_mainAppView) : m_loginBranch.data();
    // Logging in: the main screen comes in from the right, the login screen leaves to the right.
    // Logging out: the main screen leaves to the left, the login screen comes in from the left.
    const int direction = m_branch == Branch::main ? 1 : -1;
    if (current) {
        current->move(qRound(direction * w * (1.0 - progress)), 0);
    }
    if (m_outgoing) {
        m_outgoing->move(qRound(direction * w * progress), 0);
    }
}

void WindowContent::requestWindowStyle()
{
    const QPointer<DraggableWindow> window = m_appDelegate->mainWindow();
    if (!window) {
        return;
    }
    QMetaObject::invokeMethod(
        m_appDelegate,
        [delegate = m_appDelegate, window, self = QPointer<WindowContent>(this)] {
            if (!window) {
                return;
            }
            const bool unlocked = delegate->isAuthenticated();
            if (unlocked) {
                delegate->applyUnlockedWindowStyle(window);
            } else {
                delegate->applyLockedWindowStyle(window);
            }
            if (self) {
                Q_EMIT self->windowStyleApplied(unlocked);
            }
        },
        Qt::QueuedConnection);
}

void WindowContent::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    for (QWidget* branch : {static_cast<QWidget*>(m_loginBranch), static_cast<QWidget*>(m_mainAppView)}) {
        if (branch) {
            branch->resize(size());
        }
    }
    placeBranches(isSliding() ? m_slide.currentValue().toReal() : 1.0);
}
