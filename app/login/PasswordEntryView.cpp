#include "app/login/PasswordEntryView.h"

#include "app/common/AppContext.h"
#include "app/common/ShellTimings.h"
#include "app/login/LockImageView.h"
#include "app/login/LoginTitleView.h"
#include "app/login/PasswordFieldFrame.h"
#include "core/credentials/AppPasswordMarker.h"
#include "core/credentials/BiometricContext.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/SecureInputView.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace {
constexpr qreal fieldFontSize = 24;
constexpr int titlePadding = 100;
constexpr int rowSpacing = 5;
constexpr int imageTrailingPadding = 15;

} // namespace

PasswordEntryView::PasswordEntryView(AppContext* appContext, Binding<bool> isAuthenticated,
                                     Binding<std::optional<QString>> warningText, QWidget* parent)
    : QWidget(parent)
    , m_appContext(appContext)
    , m_isAuthenticated(std::move(isAuthenticated))
    , m_warningText(std::move(warningText))
    , m_lockImage(new LockImageView)
    , m_field(new SecureInputView(Binding<QString>::to(&m_password), fieldFontSize, placeholderText, false,
                                  [this] { submitPassword(); }))
    , m_fieldFrame(new PasswordFieldFrame(m_field))
    , m_touchIdButton(new TrendyButtonHelper({
          .text = std::nullopt,
          .buttonColor = std::nullopt,
          .textColor = TarnColor::controlBackgroundColor(),
          .iconName = QStringLiteral("touchid"),
          .nsImage = std::nullopt,
          .imgSize = 18,
          .iconColor = std::nullopt,
          .font = TarnFont::roboto_regular14,
          .padding = 12,
          .timer = 0,
          .minWidth = 10,
          .alignment = Qt::AlignLeading | Qt::AlignVCenter,
          .isDisabled = false,
          .callback = [this] { authenticateWithTouchID(); },
      }))
    , m_touchIdSlot(new QWidget)
    , m_touchIdPrompt(new QLabel(BiometricContext::unlockReason, this))
{
    setImgBgColor(defaultImgBgColor());
    setTxtBgColor(defaultTxtBgColor());
    // A password pasted here is cut as the settings cut it when it was saved.
    m_field->setCharacterLimit(PasswordViewModel::characterLimit);

    // The title at the top; the image, the field and the fingerprint button centred in the screen.
    auto* title = new LoginTitleView(QStringLiteral("Tarn-Backup-Manager"));
    auto* titleColumn = new QVBoxLayout;
    titleColumn->setContentsMargins(0, titlePadding, 0, titlePadding);
    titleColumn->addWidget(title, 0, Qt::AlignHCenter);
    titleColumn->addStretch();

    // The spacing is explicit: the fingerprint button brings its own as it slides into its slot.
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addStretch();
    row->addWidget(m_lockImage);
    row->addSpacing(rowSpacing + imageTrailingPadding);
    row->addWidget(m_fieldFrame);
    row->addWidget(m_touchIdSlot);
    row->addStretch();
    m_touchIdButton->setParent(m_touchIdSlot);
    m_touchIdButton->hide();
    m_touchIdSlot->setFixedSize(0, m_touchIdButton->sizeHint().height());
    m_touchIdSlot->installEventFilter(this);
    m_touchIdSlide.setEasingCurve(Motion::easeInOut());
    m_touchIdSlide.setStartValue(0.0);
    m_touchIdSlide.setEndValue(1.0);
    connect(&m_touchIdSlide, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& progress) { placeTouchIdButton(progress.toReal()); });

    auto* stack = new QGridLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addLayout(titleColumn, 0, 0);
    stack->addLayout(row, 0, 0, Qt::AlignVCenter);

    m_touchIdPrompt->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 13, QFont::Normal));
    m_touchIdPrompt->setAlignment(Qt::AlignCenter);
    QPalette promptPalette = m_touchIdPrompt->palette();
    promptPalette.setColor(QPalette::WindowText, TarnColor::secondary());
    m_touchIdPrompt->setPalette(promptPalette);
    m_touchIdPrompt->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_touchIdPrompt->hide();
    m_fieldFrame->installEventFilter(this);

    m_colourReset.setSingleShot(true);
    connect(&m_colourReset, &QTimer::timeout, this, &PasswordEntryView::resetColours);
    m_warningReset.setSingleShot(true);
    connect(&m_warningReset, &QTimer::timeout, this, [this] { m_warningText.set(std::nullopt); });

    for (const char* property : {"imgBgColor", "txtBgColor"}) {
        auto* animation = new QPropertyAnimation(this, property, &m_colourAnimation);
        animation->setEasingCurve(Motion::easeInOut());
    }
    // Interpolation rounds; the colours end exactly on their defaults.
    connect(&m_colourAnimation, &QAbstractAnimation::finished, this, [this] {
        setImgBgColor(defaultImgBgColor());
        setTxtBgColor(defaultTxtBgColor());
    });

    // Whatever logs the user in ends a fingerprint check that still runs.
    connect(m_appContext, &AppContext::isAuthenticatedChanged, this, [this](bool authenticated) {
        if (authenticated) {
            dropTouchIdCheck();
        }
    });
}

PasswordEntryView::~PasswordEntryView()
{
    dropTouchIdCheck();
    // The field overwrites its own characters as it goes.
    SecretBytes::wipeText(m_password);
}

QString PasswordEntryView::damagedItemText()
{
    // The label the credential store gives the item when the app saves it.
    return QStringLiteral("Der Schlüsselbund-Eintrag „%1/%2“ ist beschädigt. Entferne ihn mit der "
                          "Passwortverwaltung des Desktops (z. B. „Passwörter und Schlüssel“); danach startet die "
                          "App ohne App-Passwort.")
        .arg(AppPassword::service(), AppPassword::key());
}

void PasswordEntryView::forgetTypedPassword()
{
    // The typed characters are overwritten where they lie: in the field and in our copy, which
    // shares them.
    SecretBytes::wipeText(m_password);
    m_field->wipe();
}

bool PasswordEntryView::isEvaluatingTouchID() const
{
    return !m_context.isNull();
}

QColor PasswordEntryView::defaultImgBgColor()
{
    return TarnColor::withOpacity(TarnColor::secondary(), 0.2);
}

QColor PasswordEntryView::defaultTxtBgColor()
{
    return TarnColor::controlBackgroundColor();
}

QColor PasswordEntryView::wrongEntryColor()
{
    return TarnColor::withOpacity(TarnColor::red(), 0.4);
}

QColor PasswordEntryView::imgBgColor() const
{
    return m_lockImage->fillColor();
}

void PasswordEntryView::setImgBgColor(const QColor& color)
{
    m_lockImage->setFillColor(color);
}

QColor PasswordEntryView::txtBgColor() const
{
    return m_fieldFrame->fillColor();
}

void PasswordEntryView::setTxtBgColor(const QColor& color)
{
    m_fieldFrame->setFillColor(color);
}

void PasswordEntryView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_appeared) {
        return;
    }
    m_appeared = true;
    m_field->setFocus(Qt::OtherFocusReason);
    QTimer::singleShot(ShellTimings::loginLoadDelayMs, this, [this] {
        if (m_storedPassword == StoredPassword::unknown) {
            // Not asked for by the user: a keyring prompt dismissed just before does not come back.
            loadStoredCredentials(AppPassword::Prompt::unlessDismissed);
        }
    });
}

void PasswordEntryView::hideEvent(QHideEvent* event)
{
    dropTouchIdCheck();
    QWidget::hideEvent(event);
}

void PasswordEntryView::loadStoredCredentials(AppPassword::Prompt prompt)
{
    if (m_loading) {
        return;
    }
    m_loading = true;
    whenFinished(this, AppPassword::read(prompt), [this](const AppPassword::ReadResult& result) {
        m_loading = false;
        takeStoredPassword(result);
    });
}

void PasswordEntryView::takeStoredPassword(const AppPassword::ReadResult& result)
{
    if (m_isAuthenticated.get()) {
        return; // the user is in already; nothing here may log out
    }
    if (!result) {
        m_storedPassword = StoredPassword::failed;
        m_storedDigest.reset();
        m_submitPending = false;
        qCDebug(lcDiagnostics) << "Пароль приложения не прочитан:" << SecretStoreError::name(result.error().code)
                               << result.error().detail;
        // Not the user's fault: no shake. A damaged item keeps the app locked (anything else would let
        // anyone past the lock); the settings are out of reach, so the text says what helps instead.
        setWarningText(result.error().code == SecretStoreError::notText ? damagedItemText()
                                                                        : AppPassword::failureText(result.error()));
        Q_EMIT storedPasswordLoaded(m_storedPassword);
        return;
    }
    if (result->has_value()) {
        m_storedPassword = StoredPassword::present;
        m_storedDigest = **result;
        AppPasswordMarker::set(true);
        m_isAuthenticated.set(false);
    } else {
        m_storedPassword = StoredPassword::none;
        m_storedDigest.reset();
    }
    Q_EMIT storedPasswordLoaded(m_storedPassword);

    if (std::exchange(m_submitPending, false)) {
        submitPassword();
        if (m_isAuthenticated.get()) {
            return;
        }
    }
    if (m_storedPassword == StoredPassword::present) {
        readTouchIdChoice();
    }
}

void PasswordEntryView::readTouchIdChoice()
{
    if (std::exchange(m_touchIdChoiceRequested, true)) {
        return;
    }
    const auto choice = KeychainService(AppPassword::service()).getBoolAsync(PasswordViewModel::touchIDKey);
    whenFinished(this, choice, [this](bool useTouchID) {
        if (!useTouchID || m_isAuthenticated.get()) {
            return;
        }
        setIsTouchID(true);
        if (m_appContext->isTouchIdOnAppear()) {
            QTimer::singleShot(ShellTimings::touchIdDelayMs, this, [this] {
                if (isVisible() && !m_isAuthenticated.get()) {
                    authenticateWithTouchID();
                }
            });
        }
    });
}

void PasswordEntryView::setIsTouchID(bool shown)
{
    m_isTouchID = shown;
    m_touchIdButton->setVisible(shown);
    // The button slides in from behind the field while the row makes room for it.
    m_touchIdSlide.stop();
    if (!shown || Motion::defaultDuration() <= 0) {
        placeTouchIdButton(shown ? 1.0 : 0.0);
        return;
    }
    m_touchIdSlide.setDuration(Motion::defaultDuration());
    m_touchIdSlide.start();
}

void PasswordEntryView::placeTouchIdButton(qreal progress)
{
    // The slot holds the spacing to the field and the button; the button stands at its right end.
    const QSize button = m_touchIdButton->sizeHint();
    m_touchIdButton->resize(button);
    m_touchIdSlot->setFixedSize(qRound(progress * (rowSpacing + button.width())), button.height());
    m_touchIdButton->move(m_touchIdSlot->width() - button.width(), 0);
}

void PasswordEntryView::submitPassword()
{
    bool accepted = false;
    switch (m_storedPassword) {
    case StoredPassword::unknown:
    case StoredPassword::failed:
        // Only a password the store returned can be matched: ask it, and decide on its answer.
        m_submitPending = true;
        loadStoredCredentials();
        return;
    case StoredPassword::none:
        accepted = m_password.isEmpty();
        break;
    case StoredPassword::present:
        accepted = m_storedDigest && m_storedDigest->matches(m_password);
        break;
    }
    if (accepted) {
        dropTouchIdCheck();
        forgetTypedPassword();
        m_isAuthenticated.set(true);
        return;
    }
    m_colourAnimation.stop();
    setImgBgColor(wrongEntryColor());
    setTxtBgColor(wrongEntryColor());
    // The next attempt starts from a selected entry: asked for once, here, and never by the colours'
    // return, so that typing after it is kept.
    m_field->setShouldSelectAll(false);
    m_field->setShouldSelectAll(true);
    showWarning(wrongPasswordText);
    m_colourReset.start(ShellTimings::colourResetMs);
}

void PasswordEntryView::resetColours()
{
    m_field->setShouldSelectAll(false);
    m_colourAnimation.stop();
    const QColor ends[] = {defaultImgBgColor(), defaultTxtBgColor()};
    for (int i = 0; i < m_colourAnimation.animationCount(); ++i) {
        auto* animation = static_cast<QPropertyAnimation*>(m_colourAnimation.animationAt(i));
        animation->setDuration(Motion::defaultDuration());
        animation->setStartValue(property(animation->propertyName().constData()));
        animation->setEndValue(ends[i]);
    }
    m_colourAnimation.start();
}

void PasswordEntryView::showWarning(const QString& text)
{
    m_appContext->shakeWindow(this);
    setWarningText(text);
}

void PasswordEntryView::setWarningText(const std::optional<QString>& text)
{
    m_warningText.set(text);
    m_warningReset.start(ShellTimings::warningResetMs);
}

void PasswordEntryView::authenticateWithTouchID()
{
    m_appContext->setIsTouchIdOnAppear(false);
    if (m_context) {
        return; // one check at a time
    }
    const quint64 attempt = ++m_touchIdAttempt;
    m_context = new BiometricContext(this);
    whenFinished(this, m_context->canEvaluatePolicyAsync(), [this, attempt](bool canEvaluate) {
        if (attempt != m_touchIdAttempt) {
            return; // the screen went away meanwhile
        }
        if (!canEvaluate) {
            finishTouchIdCheck(attempt);
            showWarning(touchIdUnavailableText);
            return;
        }
        beginTouchIdCheck(attempt);
    });
}

void PasswordEntryView::beginTouchIdCheck(quint64 attempt)
{
    connect(m_context, &BiometricContext::evaluated, this, [this, attempt](bool success) {
        if (attempt != m_touchIdAttempt) {
            return;
        }
        finishTouchIdCheck(attempt);
        if (success) {
            forgetTypedPassword();
            m_isAuthenticated.set(true);
        } else {
            showWarning(touchIdFailedText);
        }
    });
    m_context->evaluatePolicy(BiometricContext::unlockReason);
    placeTouchIdPrompt();
    m_touchIdPrompt->show();
    Q_EMIT touchIdCheckStarted();
}

void PasswordEntryView::finishTouchIdCheck(quint64 attempt)
{
    if (attempt != m_touchIdAttempt || !m_context) {
        return;
    }
    m_context->deleteLater();
    m_context = nullptr;
    m_touchIdPrompt->hide();
}

void PasswordEntryView::dropTouchIdCheck()
{
    ++m_touchIdAttempt;
    m_touchIdPrompt->hide();
    if (BiometricContext* context = m_context) {
        m_context = nullptr;
        context->cancel();
        context->deleteLater();
    }
}

void PasswordEntryView::keyPressEvent(QKeyEvent* event)
{
    // Escape ends the running fingerprint check as a failure, as cancelling a prompt does.
    if (event->key() == Qt::Key_Escape && m_context && m_context->isEvaluating()) {
        m_context->cancel();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PasswordEntryView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_fieldFrame && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        placeTouchIdPrompt();
    }
    if (watched == m_touchIdSlot && event->type() == QEvent::Polish && m_isTouchID &&
        m_touchIdSlide.state() != QAbstractAnimation::Running) {
        placeTouchIdButton(1.0); // the button's font is settled only now
    }
    return QWidget::eventFilter(watched, event);
}

void PasswordEntryView::placeTouchIdPrompt()
{
    // Under the field, outside the row, so that the row keeps its place.
    const QRect field = m_fieldFrame->geometry();
    const int height = m_touchIdPrompt->sizeHint().height();
    m_touchIdPrompt->setGeometry(field.left(), field.bottom() + 1, field.width(), height);
}
