#include "app/backup/DeleteButtonView.h"

#include "app/backup/ActionContext.h"
#include "core/workflows/AppDataEraser.h"
#include "kit/dialogs/BoldMarkup.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

QString DeleteButtonView::warningText()
{
    return QStringLiteral("**Achtung: Alle Daten und die Datenbank der App werden gelöscht.**\nStelle vor dem Löschen "
                          "sicher, dass du ein Backup der App erstellt hast.");
}

QString DeleteButtonView::consentText()
{
    return QStringLiteral("Vor dem Löschen bestätige, dass du einverstanden bist.");
}

QString DeleteButtonView::progressText()
{
    return QStringLiteral("App wird gelöscht.");
}

QString DeleteButtonView::successText()
{
    return QStringLiteral("Die Daten wurden erfolgreich gelöscht.");
}

QString DeleteButtonView::failureText()
{
    return QStringLiteral("Fehler beim Löschen der Daten.");
}

DeleteButtonView::DeleteButtonView(ActionContext* context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    setFixedWidth(460);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(20);

    m_warning = new QLabel(BoldMarkup::toHtml(warningText()), this);
    m_warning->setTextFormat(Qt::RichText);
    m_warning->setTextInteractionFlags(Qt::NoTextInteraction);
    m_warning->setWordWrap(true);
    m_warning->setAlignment(Qt::AlignCenter);
    m_warning->setFont(TarnFont(TarnFont::roboto_regular14).font());
    layout->addWidget(m_warning);

    // The consent starts unticked, with the action disabled, whatever the last sheet left behind.
    m_context->setIsButtonDisabled(true);
    m_checkBox = new CheckBoxHelper(consentText(), 15, false, TarnColor::red(), this);
    layout->addWidget(m_checkBox, 0, Qt::AlignHCenter);

    connect(m_checkBox, &CheckBoxHelper::selectionChanged, this,
            [this](bool ticked) { m_context->setIsButtonDisabled(!ticked); });
    connect(m_context, &ActionContext::isButtonDisabledChanged, this,
            [this](bool disabled) { m_checkBox->setSelection(!disabled); });
    connect(m_context, &ActionContext::performActionChanged, this, &DeleteButtonView::startDeletion);
}

void DeleteButtonView::startDeletion()
{
    if (m_context->isWorking()) {
        qCDebug(lcDiagnostics).noquote() << "Работа уже идёт, повторный запуск пропущен.";
        return;
    }
    if (!m_checkBox->selection()) {
        qCDebug(lcDiagnostics).noquote() << "Удаление не подтверждено.";
        return;
    }
    m_context->setProgressLoadText(progressText());
    Q_EMIT deletionStarted();

    // The work reports to the context, which outlives this screen; the screen may be gone by then.
    ActionContext* context = m_context;
    const QPointer<DeleteButtonView> self(this);
    const int closeDelay = m_closeDelay;
    const auto erased = continueOn(
        context, AppDataEraser::eraseAppData(context->dataGuard()),
        [](const AppDataEraser::Outcome& result) { return result; },
        AppDataEraser::Outcome(fail(AppDataEraser::Failure{})));
    whenFinished(context, erased, [context, self, closeDelay](const AppDataEraser::Outcome& result) {
        if (result)
            context->setMessageText(successText());
        else
            context->setMessageText(result.error().refusal.isEmpty() ? failureText() : result.error().refusal);
        QTimer::singleShot(closeDelay, context, [context, self] {
            context->setProgressLoadText(std::nullopt);
            // Only this screen's own sheet is closed, never a later one.
            if (self)
                context->closeView();
        });
    });
}
