#include "app/updates/UpdateView.h"

#include "app/updates/UpdateAlertPresenter.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "platform/updates/Updater.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

UpdateView::UpdateView(Updater* updater, QWidget* parent)
    : QWidget(parent)
    , m_updater(updater)
    , m_automaticChecks(new QCheckBox(QStringLiteral("Automatisch auf Updates prüfen"), this))
    , m_automaticDownloads(new QCheckBox(QStringLiteral("Updates automatisch herunterladen"), this))
    , m_reason(new QLabel(this))
{
    const std::optional<UpdateError> problem = m_updater->feedProblem();
    m_automaticChecks->setChecked(!problem && m_updater->automaticallyChecksForUpdates());
    m_automaticDownloads->setChecked(!problem && m_updater->automaticallyDownloadsUpdates());
    m_automaticChecks->setEnabled(!problem);
    m_automaticDownloads->setEnabled(m_automaticChecks->isChecked());
    m_reason->setWordWrap(true);
    m_reason->setTextFormat(Qt::PlainText);
    m_reason->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal));
    QPalette palette = m_reason->palette();
    palette.setColor(QPalette::WindowText,
                     TarnColor::legibleOn(TarnColor::secondary(), {TarnColor::windowBackgroundColor()}));
    m_reason->setPalette(palette);
    if (problem) {
        m_reason->setText(QStringLiteral("Automatische Prüfungen sind nicht möglich: ") + problem->message());
        m_automaticChecks->setToolTip(m_reason->text());
    }
    m_reason->setVisible(bool(problem));
    connect(m_automaticChecks, &QCheckBox::toggled, this, [this](bool checked) {
        m_updater->setAutomaticallyChecksForUpdates(checked);
        m_automaticDownloads->setEnabled(checked);
    });
    connect(m_automaticDownloads, &QCheckBox::toggled, m_updater, &Updater::setAutomaticallyDownloadsUpdates);

    TrendyButtonHelper::Fields fields;
    fields.text = QStringLiteral("Auf Updates prüfen");
    fields.textColor = TarnColor::controlBackgroundColor();
    fields.iconName = QStringLiteral("arrow.trianglehead.2.clockwise.rotate.90");
    fields.imgSize = 18;
    fields.font = TarnFont::roboto_regular14;
    fields.padding = 10;
    fields.timer = 0;
    fields.minWidth = 10;
    fields.alignment = Qt::AlignLeading | Qt::AlignVCenter;
    fields.isDisabled = false;
    fields.callback = [this] { UpdateAlertPresenter::checkForUpdates(m_updater, this); };
    m_checkButton = new TrendyButtonHelper(std::move(fields), this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(50, 20, 50, 0);
    layout->setSpacing(20);
    layout->addWidget(m_automaticChecks, 0, Qt::AlignLeft);
    // The reason stands close under the switches it explains.
    auto* downloads = new QVBoxLayout;
    downloads->setSpacing(6);
    downloads->addWidget(m_automaticDownloads, 0, Qt::AlignLeft);
    downloads->addWidget(m_reason);
    layout->addLayout(downloads);
    layout->addWidget(m_checkButton, 0, Qt::AlignLeft);
    layout->addStretch();
}
