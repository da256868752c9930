#include "kit/inputs/TextViewHelper.h"

#include "kit/controls/ControlAccessibility.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/theme/FocusMark.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"
#include "platform/Diagnostics.h"
#include "platform/FileSystemLanes.h"
#include "platform/WhenFinished.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
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
    , m_title(title)
    , m_text(text)
    , m_url(url)
    , m_color(color)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ControlAccessibility::install();

    m_titleLabel = new ElidedLabel(title + u':', 2, this);
    m_titleLabel->setFont(TarnFont(TarnFont::roboto_regular14).font());
    m_titleLabel->setColor(TarnColor::primary());
    m_titleLabel->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    layout->addWidget(m_titleLabel, 0, Qt::AlignTop);

    m_valueLabel = new ElidedLabel(QString(), 2, this);
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

void TextViewHelper::setPlaceholder(const QString& placeholder, const QColor& color)
{
    m_placeholder = placeholder;
    m_placeholderColor = color;
    updateValue();
}

QString TextViewHelper::shownValue() const
{
    return m_text.value_or(m_placeholder);
}

void TextViewHelper::updateValue()
{
    const bool placeholder = !m_text && !m_placeholder.isEmpty();
    m_valueLabel->setVisible(m_text.has_value() || placeholder);
    m_valueLabel->setText(shownValue());
    // Two lines cut at the tail hide a long path's end, the folder's own name: the tooltip has it all.
    m_valueLabel->setToolTip(m_text ? Qt::convertFromPlainText(*m_text, Qt::WhiteSpacePre) : QString());
    m_valueLabel->setColor(placeholder ? m_placeholderColor : m_color);
    QFont font = TarnFont(placeholder ? TarnFont::roboto_italic14 : TarnFont::roboto_boldItalic14).font();
    font.setUnderline(!placeholder);
    m_valueLabel->setFont(font);
    if (isLink())
        m_valueLabel->setCursor(Qt::PointingHandCursor);
    else
        m_valueLabel->unsetCursor();
    setFocusPolicy(isLink() ? Qt::TabFocus : Qt::NoFocus);
    update();
}

void TextViewHelper::checkFolder()
{
    if (!m_url || m_checkingFolder)
        return;
    const QUrl url = *m_url;
    const QString path = url.toLocalFile();
    if (!url.isLocalFile()) {
        showFolderMissing(path);
        return;
    }
    // The folder may lie on a file system that does not answer: it is looked at on its own thread.
    m_checkingFolder = true;
    const auto isFolder = FileSystemLanes::run(path, QStringLiteral("isFolder"), [path] {
        const QFileInfo folder(path);
        return folder.exists() && folder.isDir();
    });
    whenFinished(this, isFolder, [this, url, path](bool folder) {
        m_checkingFolder = false;
        if (m_url != url)
            return; // the row names another folder by now
        if (folder)
            openFolder(url);
        else
            showFolderMissing(path);
    });
}

void TextViewHelper::showFolderMissing(const QString& path)
{
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Папка не найдена или не является папкой:") << path;
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

void TextViewHelper::keyPressEvent(QKeyEvent* event)
{
    const bool activates =
        event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!isLink() || !activates || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat())
        checkFolder();
}

void TextViewHelper::paintEvent(QPaintEvent*)
{
    if (!isLink() || !FocusMark::isShown(this))
        return;
    // Behind the value's text, not the whole room it was given.
    const QFontMetrics metrics(m_valueLabel->font());
    int widest = 0;
    for (const QString& line : m_valueLabel->visibleLines())
        widest = qMax(widest, metrics.horizontalAdvance(line));
    QRect area = m_valueLabel->geometry();
    area.setWidth(qMin(area.width(), widest + 1));
    QPainter painter(this);
    FocusMark::paintPatch(&painter, QRectF(area).adjusted(-3, -1, 3, 1), 4);
}
