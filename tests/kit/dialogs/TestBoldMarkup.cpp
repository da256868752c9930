#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/BoldMarkup.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>

namespace {

struct Rendered
{
    QString text;
    QStringList bold;
};

// What a rich-text label shows for the markup: its text, and the runs drawn bold.
Rendered render(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    Rendered rendered;
    rendered.text = document.toPlainText();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().fontWeight() >= QFont::Bold)
                rendered.bold << fragment.text();
        }
    }
    return rendered;
}

} // namespace

class TestBoldMarkup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rendering_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("bold");
        QTest::newRow("plain") << "Nur Text."
                               << "Nur Text." << QStringList();
        QTest::newRow("bold span") << "Backups **nicht mehr wiederhergestellt** werden."
                                   << "Backups nicht mehr wiederhergestellt werden."
                                   << QStringList{QStringLiteral("nicht mehr wiederhergestellt")};
        QTest::newRow("line break") << "**Achtung.**\nZweite Zeile"
                                    << "Achtung.\nZweite Zeile" << QStringList{QStringLiteral("Achtung.")};
        QTest::newRow("markup is text") << "<b>a</b> & <img src=x> &amp;"
                                        << "<b>a</b> & <img src=x> &amp;" << QStringList();
        QTest::newRow("markup inside bold") << "**<i>x</i>**"
                                            << "<i>x</i>" << QStringList{QStringLiteral("<i>x</i>")};
        QTest::newRow("unpaired mark") << "a **b"
                                       << "a **b" << QStringList();
        QTest::newRow("three marks") << "**a** b **c"
                                     << "a b **c" << QStringList{QStringLiteral("a")};
        QTest::newRow("empty span") << "a **** b"
                                    << "a **** b" << QStringList();
        QTest::newRow("blanks kept") << "a  b"
                                     << "a  b" << QStringList();
    }

    void rendering()
    {
        QFETCH(QString, markup);
        QFETCH(QString, text);
        QFETCH(QStringList, bold);
        const Rendered rendered = render(BoldMarkup::toHtml(markup));
        QCOMPARE(rendered.text, text);
        QCOMPARE(rendered.bold, bold);
        QCOMPARE(BoldMarkup::plainText(markup), text);
    }

    // Alert messages: bold spans bold, markup of any other kind shown as written.
    void alertMessages_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("bold");
        QTest::newRow("bold span") << "Überschreiben? **nicht mehr wiederhergestellt** <b>x</b>"
                                   << "Überschreiben? nicht mehr wiederhergestellt <b>x</b>"
                                   << QStringList{QStringLiteral("nicht mehr wiederhergestellt")};
        QTest::newRow("markup only") << "<b>x</b> <a href=\"y\">z</a>"
                                     << "<b>x</b> <a href=\"y\">z</a>" << QStringList();
        QTest::newRow("plain") << "Das Verzeichnis existiert nicht."
                               << "Das Verzeichnis existiert nicht." << QStringList();
    }

    void alertMessages()
    {
        QFETCH(QString, markup);
        QFETCH(QString, text);
        QFETCH(QStringList, bold);
        std::unique_ptr<QWidget> message(AlertCommon::messageText(markup));
        auto* label = qobject_cast<QLabel*>(message.get());
        QVERIFY(label);
        QVERIFY(!label->openExternalLinks());
        const Rendered rendered =
            label->textFormat() == Qt::RichText ? render(label->text()) : Rendered{label->text(), {}};
        QCOMPARE(rendered.text, text);
        QCOMPARE(rendered.bold, bold);
    }
};

TARN_TEST_GUI_MAIN(TestBoldMarkup)
#include "TestBoldMarkup.moc"
