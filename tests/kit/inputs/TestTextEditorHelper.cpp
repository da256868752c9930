#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/TextFieldModifier.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

class TestTextEditorHelper : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_elsewhere = nullptr;
    QString m_comment;
    int m_writes = 0;

    TextEditorHelper* makeEditor(const QString& placeholder = u"Hinweis"_s,
                                 std::optional<QString> title = u"Kommentar zum Backup (optional)"_s,
                                 std::optional<qreal> width = 380.0, bool isDisabled = false, bool needFocus = false)
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        Binding<QString> text([this] { return m_comment; },
                              [this](const QString& value) {
                                  m_comment = value;
                                  ++m_writes;
                              });
        auto* editor = new TextEditorHelper(placeholder, title, TarnFont::roboto_regular14, TarnFont::roboto_regular12,
                                            70, 70, width, 0, text, isDisabled, needFocus);
        m_elsewhere = new QLineEdit;
        layout->addWidget(m_elsewhere);
        layout->addWidget(editor);
        m_window->resize(500, 300);
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("window not active");
        if (!needFocus)
            m_elsewhere->setFocus();
        return editor;
    }

private Q_SLOTS:
    void init()
    {
        m_comment.clear();
        m_writes = 0;
    }
    void cleanup() { m_window.reset(); }

    void placeholderFollowsTheText()
    {
        TextEditorHelper* editor = makeEditor();
        QVERIFY(editor->placeholderLabel()->isVisible());
        QCOMPARE(editor->placeholderLabel()->text(), u"Hinweis"_s);
        QCOMPARE(editor->placeholderLabel()->textFormat(), Qt::PlainText);

        // A click on the hint puts the cursor into the editor.
        QTest::mouseClick(editor->placeholderLabel(), Qt::LeftButton);
        QVERIFY(editor->isFocused());
        QTest::keyClicks(editor->editor(), u"x"_s);
        QVERIFY(!editor->placeholderLabel()->isVisible());
        QTest::keyClick(editor->editor(), Qt::Key_Backspace);
        QVERIFY(editor->placeholderLabel()->isVisible());
    }

    void title_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<bool>("shown");
        QTest::newRow("text") << std::optional<QString>(u"Kommentar"_s) << true;
        QTest::newRow("spaces and breaks") << std::optional<QString>(u"  \n "_s) << false;
        QTest::newRow("none") << std::optional<QString>() << false;
        QTest::newRow("markup stays text") << std::optional<QString>(u"<b>fett</b>"_s) << true;
    }

    void title()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(bool, shown);
        TextEditorHelper* editor = makeEditor(u""_s, title);
        QCOMPARE(editor->titleLabel() != nullptr, shown);
        if (shown) {
            QCOMPARE(editor->titleLabel()->text(), *title);
            QCOMPARE(editor->titleLabel()->textFormat(), Qt::PlainText);
        }
    }

    void widthIsExact()
    {
        QCOMPARE(makeEditor(u""_s, std::nullopt, 380.0)->width(), 380);
        QCOMPARE(makeEditor(u""_s, std::nullopt, 300.0)->width(), 300);
        TextEditorHelper* free = makeEditor(u""_s, std::nullopt, std::nullopt);
        QCOMPARE(free->width(), m_elsewhere->width());
    }

    void heights()
    {
        TextEditorHelper* editor = makeEditor();
        QCOMPARE(editor->editor()->maximumHeight(), 70);
        QCOMPARE(editor->editor()->minimumHeight(), 16);
        QCOMPARE(editor->editor()->height(), 70);
    }

    void disabled()
    {
        m_comment = u"Alt"_s;
        TextEditorHelper* editor = makeEditor(u""_s, std::nullopt, 380.0, true, true);
        QVERIFY(editor->isDisabled());
        QVERIFY(!editor->editor()->isEnabled());
        QCOMPARE(editor->editor()->focusPolicy(), Qt::NoFocus);
        QVERIFY(!editor->isFocused());
        QCOMPARE(editor->box()->textColor(), TarnColor::secondary());
        QCOMPARE(editor->box()->bgColor(), TarnColor::withOpacity(TarnColor::controlBackgroundColor(), 0.5));
        QCOMPARE(qRound(editor->box()->bgColor().alphaF() * 10), 5);
        QTest::mouseClick(editor->box(), Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(!editor->isFocused());
        QTest::keyClicks(editor->editor(), u"neu"_s);
        QCOMPARE(editor->editText(), u"Alt"_s);

        TextEditorHelper* enabled = makeEditor();
        QCOMPARE(enabled->box()->textColor(), TarnColor::primary());
        QCOMPARE(enabled->box()->bgColor(), TarnColor::controlBackgroundColor());
    }

    void needFocus()
    {
        TextEditorHelper* editor = makeEditor(u""_s, std::nullopt, 380.0, false, true);
        QTRY_VERIFY(editor->isFocused());
    }

    void typingIsDebounced()
    {
        TextEditorHelper* editor = makeEditor();
        editor->setDebounceInterval(50);
        editor->editor()->setFocus();
        QTest::keyClicks(editor->editor(), u"abc"_s);
        QCOMPARE(m_writes, 0);
        QTRY_COMPARE(m_comment, u"abc"_s);
        QCOMPARE(m_writes, 1);
    }

    void pendingTypingIsFlushed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("focus loss") << u"focus loss"_s;
        QTest::newRow("commit") << u"commit"_s;
        QTest::newRow("destruction") << u"destruction"_s;
        QTest::newRow("window closed while focused") << u"window"_s;
    }

    void pendingTypingIsFlushed()
    {
        QFETCH(QString, path);
        TextEditorHelper* editor = makeEditor();
        editor->setDebounceInterval(60'000);
        editor->editor()->setFocus();
        editor->editor()->insertPlainText(u"Umzug nach Köln"_s);
        QCOMPARE(m_comment, QString());
        if (path == u"focus loss")
            m_elsewhere->setFocus();
        else if (path == u"commit")
            editor->commit();
        else if (path == u"destruction")
            delete editor;
        else
            m_window.reset();
        QCOMPARE(m_comment, u"Umzug nach Köln"_s);
        QCOMPARE(m_writes, 1);
    }

    void outsideChangeReplacesTextAtOnce()
    {
        TextEditorHelper* editor = makeEditor();
        editor->setDebounceInterval(60'000);
        editor->editor()->setFocus();
        QTest::keyClicks(editor->editor(), u"alt"_s);
        m_comment = u"neu"_s;
        editor->refresh();
        QCOMPARE(editor->editor()->toPlainText(), u"neu"_s);
        QCOMPARE(editor->editText(), u"neu"_s);
        editor->commit();
        QCOMPARE(m_comment, u"neu"_s);
        QCOMPARE(m_writes, 0);

        m_comment.clear();
        editor->refresh();
        QVERIFY(editor->placeholderLabel()->isVisible());
    }

    void boundTextIsShownAsPlainText()
    {
        m_comment = u"<i>kein</i> Markup\nzweite Zeile"_s;
        TextEditorHelper* editor = makeEditor();
        QCOMPARE(editor->editor()->toPlainText(), m_comment);
        QVERIFY(!editor->placeholderLabel()->isVisible());
    }
};

TARN_TEST_GUI_MAIN(TestTextEditorHelper)
#include "TestTextEditorHelper.moc"
