#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextViewHelper.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolTip>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

class TestTextViewHelper : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    QList<QUrl> m_opened;
    QTemporaryDir m_dir;

    TextViewHelper* makeView(const std::optional<QString>& text, const std::optional<QUrl>& url)
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        auto* view = new TextViewHelper(u"Speicherort"_s, text, url, Qt::blue);
        layout->addWidget(view);
        m_window->resize(400, 300);
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            qWarning("window not exposed");
        return view;
    }

    static void clickValue(TextViewHelper* view)
    {
        QTest::mouseClick(view->valueLabel(), Qt::LeftButton, {}, QPoint(2, 2));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TextViewHelper::setFolderOpener([this](const QUrl& folder) { m_opened << folder; });
    }
    void init() { m_opened.clear(); }
    void cleanup() { m_window.reset(); }

    void labelAlone()
    {
        TextViewHelper* view = makeView(std::nullopt, std::nullopt);
        QCOMPARE(view->titleLabel()->text(), u"Speicherort:"_s);
        QVERIFY(!view->valueLabel()->isVisible());
        QVERIFY(!view->isLink());
    }

    void plainValueIsNotALink()
    {
        TextViewHelper* view = makeView(u"/tmp/nirgends"_s, std::nullopt);
        QVERIFY(view->valueLabel()->isVisible());
        QCOMPARE(view->valueLabel()->text(), u"/tmp/nirgends"_s);
        QVERIFY(view->valueLabel()->font().underline());
        QVERIFY(view->valueLabel()->font().italic());
        QCOMPARE(view->valueLabel()->color(), QColor(Qt::blue));
        clickValue(view);
        QVERIFY(m_opened.isEmpty());
        QVERIFY(!view->alert());
    }

    void existingFolderOpens()
    {
        const QUrl folder = QUrl::fromLocalFile(m_dir.path());
        TextViewHelper* view = makeView(m_dir.path(), folder);
        QVERIFY(view->isLink());
        clickValue(view);
        QTRY_COMPARE(m_opened, QList<QUrl>{folder});
        QVERIFY(!view->isFolderNotExists());
        QVERIFY(!view->alert());
    }

    void missingFolderShowsAlert_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << m_dir.filePath(u"gibt-es-nicht"_s);
        const QString file = m_dir.filePath(u"Backup_2024-01-01_10-00-00.orlwen"_s);
        QFile plain(file);
        plain.open(QIODevice::WriteOnly);
        QTest::newRow("plain file") << file;
    }

    void missingFolderShowsAlert()
    {
        QFETCH(QString, path);
        TextViewHelper* view = makeView(path, QUrl::fromLocalFile(path));
        clickValue(view);
        QTRY_VERIFY(view->alert());
        QVERIFY(m_opened.isEmpty());
        QVERIFY(view->isFolderNotExists());

        auto* card = qobject_cast<AlertCommon*>(view->alert()->card());
        QVERIFY(card);
        QCOMPARE(card->alertType(), AlertCustomType::warn);
        QCOMPARE(card->titleLabel()->text(), u"Fehler"_s);
        const QList<QLabel*> labels = card->content()->findChildren<QLabel*>();
        QStringList texts;
        for (const QLabel* label : labels)
            texts << label->text();
        if (auto* self = qobject_cast<QLabel*>(card->content()))
            texts << self->text();
        QVERIFY2(texts.contains(u"Das Verzeichnis im angegebenen Pfad existiert nicht."_s),
                 qPrintable(texts.join(u'|')));
        QCOMPARE(card->buttonViews().size(), 1);

        QPointer<SheetOverlay> overlay = view->alert();
        card->buttonTapped(0);
        QVERIFY(!view->isFolderNotExists());
        QTRY_VERIFY(!overlay);
    }

    void longValueIsCutAtTwoLines()
    {
        const QString longText = QString(u"/Ordner"_s).repeated(60) + u"/Backups <neu> & alt"_s;
        TextViewHelper* view = makeView(longText, QUrl::fromLocalFile(longText));
        QCOMPARE(view->valueLabel()->visibleLines().size(), 2);
        QVERIFY(view->valueLabel()->isElided());
        QVERIFY(view->valueLabel()->visibleLines().last().endsWith(QChar(0x2026)));

        // The cut end, the folder's own name, shows in the tooltip, written as it is.
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), view->valueLabel()->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(view->valueLabel(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        QCOMPARE(shown.toPlainText(), longText);
        QToolTip::hideText();

        view->setText(std::nullopt);
        QVERIFY(view->valueLabel()->toolTip().isEmpty());
    }
};

TARN_TEST_GUI_MAIN(TestTextViewHelper)
#include "TestTextViewHelper.moc"
