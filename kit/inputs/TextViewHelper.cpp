#include "kit/inputs/TextViewHelper.h"

#include "kit/dialogs/AlertCustom.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"
#include "platform/Diagnostics.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QTextDocument>

namespace {

TextViewHelper::FolderOpener& folderOpener()
{
    static TextViewHelper::FolderOpener opener;
    return opener;
}

void openFolder(const QUrl& folder)
{
    if (folderOpener())
        folderOpener()(folder);
    else
        QDesktopServices::openUrl(folder);
}

} // namespace

TextViewHelper::TextViewHelper(const QString& title, const std::optional<QString>& text, const std::optional<QUrl>& url,
                               const QColor& color, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_url(url)
    , m_color(color)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_titleLabel = new ElidedLabel(title + u':', 2, this);
    m_titleLabel->setFont(TarnFont(TarnFont::roboto_regular14).font());
    m_titleLabel->setColor(TarnColor::primary());
    m_titleLabel->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    layout->addWidget(m_titleLabel, 0, Qt::AlignTop);

    m_valueLabel = new ElidedLabel(QString(), 2, this);
    m_valueLabel->setFont(TarnFont(TarnFont::roboto_boldItalic14).font());
    m_valueLabel->setUnderline(true);
    m_valueLabel->installEventFilter(this);
    layout->addWidget(m_valueLabel, 1, Qt::AlignTop);

    updateValue();
}

void TextViewHelper::setText(const std::optional<QString>& text)
{
    m_text = text;
    updateValue();
}

void TextViewHelper::setUrl(const std::optional<QUrl>& url)
{
    m_url = url;
    updateValue();
}

void TextViewHelper::setColor(const QColor& color)
{
    m_color = color;
    updateValue();
}

void TextViewHelper::updateValue()
{
    m_valueLabel->setVisible(m_text.has_value());
    m_valueLabel->setText(m_text.value_or(QString()));
    // Two lines cut at the tail hide a long path's end, the folder's own name: the tooltip has it all.
    m_valueLabel->setToolTip(m_text ? Qt::convertFromPlainText(*m_text, Qt::WhiteSpacePre) : QString());
    m_valueLabel->setColor(m_color);
    if (isLink())
        m_valueLabel->setCursor(Qt::PointingHandCursor);
    else
        m_valueLabel->unsetCursor();
}

void TextViewHelper::checkFolder()
{
    if (!m_url)
        return;
    const QFileInfo folder(m_url->toLocalFile());
    if (m_url->isLocalFile() && folder.exists() && folder.isDir()) {
        openFolder(*m_url);
        return;
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Папка не найдена или не является папкой:")
                                     << m_url->toLocalFile();
    setFolderNotExists(true);
}

void TextViewHelper::setFolderNotExists(bool value)
{
    m_isFolderNotExists = value;
    if (!value) {
        if (m_alert)
            m_alert->dismiss();
        return;
    }
    if (m_alert)
        return;

    QPointer<TextViewHelper> self(this);
    Binding<bool> isPresented([self] { return self && self->m_isFolderNotExists; },
                              [self](const bool& presented) {
                                  if (self && !presented)
                                      self->m_isFolderNotExists = false;
                              });
    AlertCustomButton<AlertNoItem> ok;
    ok.title = QStringLiteral("OK");
    ok.bgColor = TarnColor::accentColor();
    ok.isDefault = false;
    ok.action = [self](const std::optional<AlertNoItem>&) {
        if (self)
            self->m_isFolderNotExists = false;
    };
    m_alert = AlertCustom::alertCustom(
        this, isPresented, QStringLiteral("Fehler"),
        [] { return AlertCommon::messageText(QStringLiteral("Das Verzeichnis im angegebenen Pfad existiert nicht.")); },
        {ok}, AlertCustomType::warn);
}

void TextViewHelper::setFolderOpener(FolderOpener opener)
{
    folderOpener() = std::move(opener);
}

bool TextViewHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_valueLabel && event->type() == QEvent::MouseButtonRelease && isLink()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_valueLabel->rect().contains(mouse->position().toPoint())) {
            checkFolder();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
