#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/TextFieldModifier.h"
#include "tests/support/TestMain.h"

#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QRawFont>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;
using Pattern = std::optional<QString>;

namespace {

// The caller's side of a field: the bound values and how often the text was written.
struct Owner
{
    QString text;
    int textWrites = 0;
    bool masked = true;
    qreal shakes = 0;

    Binding<QString> textBinding()
    {
        return Binding<QString>([this] { return text; },
                                [this](const QString& value) {
                                    text = value;
                                    ++textWrites;
                                });
    }
};

struct FieldOptions
{
    ConnectionType connectionType = ConnectionType::text;
    bool isStylish = true;
    Pattern restrictRegex = {};
    Pattern warnRegex = {};
    Pattern warnText = {};
    int characterLimit = -1;
    std::optional<qreal> width = {};
    QString title = u"Passwort"_s;
    TextFieldHelper::ButtonType buttonType = TextFieldHelper::ButtonType::clear;
    std::function<void()> onSubmit = {};
    std::function<void()> onExitCommand = {};
    std::function<void()> callback = {};
};

} // namespace

class TestTextFieldHelper : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    Owner m_owner;

    TextFieldHelper* makeField(const FieldOptions& o = {})
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        auto* field =
            new TextFieldHelper(u""_s, o.title, m_owner.textBinding(), o.isStylish, Binding<bool>::to(&m_owner.masked),
                                Binding<bool>::constant(true), o.connectionType, 1, o.restrictRegex, o.warnRegex,
                                o.warnText, TarnFont::roboto_regular12, TarnFont::roboto_regular14, o.characterLimit,
                                Binding<bool>::constant(true), Binding<qreal>::to(&m_owner.shakes), o.width, false,
                                nullptr, o.buttonType, false, o.onSubmit, o.onExitCommand, o.callback);
        layout->addWidget(field);
        auto* elsewhere = new QLineEdit; // somewhere else to move the focus to
        layout->addWidget(elsewhere);
        m_window->resize(400, 200);
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("window not active");
        elsewhere->setFocus();
        return field;
    }

    static void type(TextFieldHelper* field, const QString& keys)
    {
        field->input()->setFocus();
        QTest::keyClicks(field->input(), keys);
    }

private Q_SLOTS:
    void init() { m_owner = Owner(); }
    void cleanup() { m_window.reset(); }

    void passwordMaskingAndShowHideButton()
    {
        TextFieldHelper* field = makeField({.connectionType = ConnectionType::password});
        QSignalSpy toggled(field, &TextFieldHelper::maskedPasswordToggled);
        QVERIFY(field->showHideButton());
        QCOMPARE(field->input()->echoMode(), QLineEdit::Password);
        QCOMPARE(field->showHideButton()->iconName(), u"eye"_s);
        QVERIFY(!field->showHideButton()->isEnabled());
        QVERIFY(!field->clearButton()->isEnabled());

        type(field, u"   "_s);
        QVERIFY2(!field->showHideButton()->isEnabled(), "white space alone keeps the button disabled");
        QVERIFY(!field->clearButton()->isEnabled());
        type(field, u"ab"_s);
        QVERIFY(field->showHideButton()->isEnabled());
        QVERIFY(field->clearButton()->isEnabled());

        QTest::mouseClick(field->showHideButton(), Qt::LeftButton);
        QCOMPARE(m_owner.masked, false);
        QCOMPARE(field->input()->echoMode(), QLineEdit::Normal);
        QCOMPARE(field->showHideButton()->iconName(), u"eye.slash"_s);
        QCOMPARE(toggled.size(), 1);

        // Another field sharing the masking follows on refresh.
        m_owner.masked = true;
        field->refresh();
        QCOMPARE(field->input()->echoMode(), QLineEdit::Password);
        QCOMPARE(field->showHideButton()->iconName(), u"eye"_s);

        QTest::mouseClick(field->clearButton(), Qt::LeftButton);
        QCOMPARE(field->buffer(), QString());
        QVERIFY(!field->showHideButton()->isEnabled());
    }

    void passwordMaskAndEyeAreDrawnInPlace()
    {
        TextFieldHelper* field = makeField({.connectionType = ConnectionType::password});
        type(field, u"abc"_s);
        QCOMPARE(field->input()->displayText(), QString(3, QChar(0x2022)));
        QVERIFY(QRawFont::fromFont(field->input()->font()).supportsCharacter(QChar(0x2022)));

        // The eye sits in the middle of its 30 point frame, by geometry and as painted.
        TextFieldButtonHelper* eye = field->showHideButton();
        QCOMPARE(eye->width(), 30);
        QCOMPARE(eye->symbolRect().center(), QRectF(eye->rect()).center());
        QImage picture(eye->size(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        eye->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        int left = picture.width();
        int right = -1;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (qAlpha(picture.pixel(x, y)) > 0) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
            }
        }
        QVERIFY(right >= left);
        QVERIFY2(qAbs(left - (picture.width() - 1 - right)) <= 1,
                 qPrintable(u"painted from %1 to %2 of %3"_s.arg(left).arg(right).arg(picture.width())));
    }

    void plainStyleHasNoClearButton()
    {
        TextFieldHelper* field = makeField({.connectionType = ConnectionType::password, .isStylish = false});
        QVERIFY(!field->clearButton());
        QVERIFY(!field->box());
        QVERIFY(field->showHideButton());
        QVERIFY(field->input()->hasFrame());

        TextFieldHelper* text = makeField({});
        QVERIFY(!text->showHideButton());
        QCOMPARE(text->input()->echoMode(), QLineEdit::Normal);
        QVERIFY(text->clearButton());
    }

    void actionButton()
    {
        QVERIFY(!makeField({.buttonType = TextFieldHelper::ButtonType::magicWand})->actionButton());
        QVERIFY(!makeField({.callback = [] {}})->actionButton());

        int calls = 0;
        TextFieldHelper* field =
            makeField({.buttonType = TextFieldHelper::ButtonType::magicWand, .callback = [&calls] { ++calls; }});
        QVERIFY(field->actionButton());
        QCOMPARE(field->actionButton()->iconName(), u"wand.and.stars.inverse"_s);
        QTest::mouseClick(field->actionButton(), Qt::LeftButton);
        QCOMPARE(calls, 1);
        QVERIFY(field->isFocused());
    }

    void patterns_data()
    {
        QTest::addColumn<Pattern>("restrictRegex");
        QTest::addColumn<Pattern>("warnRegex");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("warned");

        const Pattern none;
        QTest::newRow("space stripped") << Pattern(u" "_s) << none << u"a b"_s << u"ab"_s << true;
        QTest::newRow("matches stripped, not pattern characters")
            << Pattern(u"\\s"_s) << none << u"s\\s x"_s << u"s\\sx"_s << true;
        QTest::newRow("clean text") << Pattern(u" "_s) << none << u"ab"_s << u"ab"_s << false;
        QTest::newRow("warn only keeps text") << none << Pattern(u"[0-9]"_s) << u"a1"_s << u"a1"_s << true;
        QTest::newRow("restriction alone is tried")
            << Pattern(u"x"_s) << Pattern(u"a"_s) << u"ab"_s << u"ab"_s << false;
        QTest::newRow("invalid restriction disables both")
            << Pattern(u"(["_s) << Pattern(u"a"_s) << u"a (["_s << u"a (["_s << false;
        QTest::newRow("invalid warning") << none << Pattern(u"+"_s) << u"a+"_s << u"a+"_s << false;
    }

    void patterns()
    {
        QFETCH(Pattern, restrictRegex);
        QFETCH(Pattern, warnRegex);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(bool, warned);

        TextFieldHelper* field =
            makeField({.restrictRegex = restrictRegex, .warnRegex = warnRegex, .warnText = u"Nicht erlaubt"_s});
        field->setDebounceInterval(10);
        type(field, typed);
        QCOMPARE(field->buffer(), expected);
        QCOMPARE(field->input()->text(), expected);
        QCOMPARE(field->isWarningVisible(), warned);
        QCOMPARE(field->warningLine()->isVisible(), warned);
        if (warned)
            QCOMPARE(field->warningLine()->text(), u"Nicht erlaubt"_s);
        QTRY_COMPARE(m_owner.text, expected);
    }

    void noWarningLineWithoutWarnText()
    {
        TextFieldHelper* field = makeField({.restrictRegex = u" "_s});
        type(field, u"a b"_s);
        QCOMPARE(field->buffer(), u"ab"_s);
        QVERIFY(!field->isWarningVisible());
        QVERIFY(!field->warningLine()->isVisible());
    }

    void warningRestartsOnEachHitAndEnds()
    {
        TextFieldHelper* field = makeField({.restrictRegex = u" "_s, .warnText = u"Keine Leerzeichen"_s});
        QCOMPARE(field->warningInterval(), 5000);
        field->setWarningInterval(10'000);
        type(field, u" "_s);
        QVERIFY(field->isWarningVisible());
        QTest::qWait(30);
        const int before = field->warningRemainingTime();
        QVERIFY(before < 10'000);
        type(field, u" "_s);
        QVERIFY2(field->warningRemainingTime() > before, "a second hit restarts the warning's time");

        field->setWarningInterval(20);
        type(field, u" "_s);
        QTRY_VERIFY(!field->isWarningVisible());
        QVERIFY(!field->warningLine()->isVisible());
    }

    void characterLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");

        QTest::newRow("150 into 100") << 100 << QString(150, u'x') << QString(100, u'x');
        QTest::newRow("zero empties") << 0 << u"abc"_s << QString();
        QTest::newRow("negative is no limit") << -5 << u"abcdef"_s << u"abcdef"_s;
        QTest::newRow("umlauts") << 3 << u"Äöüß"_s << u"Äöü"_s;
        QTest::newRow("emoji whole") << 2 << u"a👨‍👩‍👧b"_s << u"a👨‍👩‍👧"_s;
        QTest::newRow("skin tone whole") << 1 << u"👍🏽👍🏽"_s << u"👍🏽"_s;
    }

    void characterLimit()
    {
        QFETCH(int, limit);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);

        TextFieldHelper* field = makeField({.characterLimit = limit});
        field->input()->setFocus();
        field->input()->insert(pasted);
        QCOMPARE(field->buffer(), expected);
        QCOMPARE(field->input()->text(), expected);
        field->commit();
        QCOMPARE(m_owner.text, expected);
    }

    void limitAppliesToBoundText()
    {
        m_owner.text = u"Müller"_s;
        TextFieldHelper* field = makeField({.characterLimit = 2});
        QCOMPARE(field->buffer(), u"Mü"_s);
        field->commit();
        QCOMPARE(m_owner.text, u"Mü"_s);
    }

    void typingIsDebounced()
    {
        TextFieldHelper* field = makeField();
        field->setDebounceInterval(50);
        type(field, u"abc"_s);
        QCOMPARE(m_owner.textWrites, 0);
        QCOMPARE(m_owner.text, QString());
        QTRY_COMPARE(m_owner.text, u"abc"_s);
        QCOMPARE(m_owner.textWrites, 1);
    }

    void pendingTypingIsFlushed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("return") << u"return"_s;
        QTest::newRow("focus loss") << u"focus loss"_s;
        QTest::newRow("commit") << u"commit"_s;
        QTest::newRow("refresh, bound text unchanged") << u"refresh"_s;
    }

    void pendingTypingIsFlushed()
    {
        QFETCH(QString, path);
        QString textAtSubmit;
        TextFieldHelper* field = makeField({.onSubmit = [this, &textAtSubmit] { textAtSubmit = m_owner.text; }});
        field->setDebounceInterval(60'000);
        type(field, u"geheim"_s);
        QCOMPARE(m_owner.text, QString());

        if (path == u"return") {
            QTest::keyClick(field->input(), Qt::Key_Return);
            QCOMPARE(textAtSubmit, u"geheim"_s);
        } else if (path == u"focus loss") {
            m_window->findChildren<QLineEdit*>().last()->setFocus();
            QVERIFY(!field->isFocused());
        } else if (path == u"commit") {
            field->commit();
        } else {
            // As when another field sharing the masking was toggled.
            field->refresh();
            QCOMPARE(field->buffer(), u"geheim"_s);
            QCOMPARE(field->input()->text(), u"geheim"_s);
        }
        QCOMPARE(m_owner.text, u"geheim"_s);
        QCOMPARE(m_owner.textWrites, 1);
        field->commit();
        QCOMPARE(m_owner.textWrites, 1);
    }

    void pendingTypingIsDroppedOnDestruction_data()
    {
        QTest::addColumn<bool>("focused");
        QTest::addColumn<bool>("fieldFirst");
        QTest::newRow("field deleted") << false << true;
        QTest::newRow("owner goes first") << false << false;
        QTest::newRow("window closed while the field is focused") << true << false;
    }

    // The bound value belongs to an object that goes before the field, as a model does that was made
    // before the field by the same parent: nothing may be written to it once it is gone.
    void pendingTypingIsDroppedOnDestruction()
    {
        QFETCH(bool, focused);
        QFETCH(bool, fieldFirst);
        auto window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        auto* model = new QObject(window.get());
        const QPointer<QObject> alive(model);
        int writes = 0;
        int writesAfterOwner = 0;
        auto* field = new TextFieldHelper(u""_s, u"Passwort"_s,
                                          Binding<QString>([] { return QString(); },
                                                           [&](const QString&) {
                                                               ++writes;
                                                               writesAfterOwner += alive ? 0 : 1;
                                                           }));
        auto* elsewhere = new QLineEdit;
        layout->addWidget(field);
        layout->addWidget(elsewhere);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        field->setDebounceInterval(60'000);

        if (focused) {
            type(field, u"geheim"_s);
            QVERIFY(field->isFocused());
            window.reset();
        } else {
            // Pending typing in a field without focus: losing focus hands nothing over any more.
            elsewhere->setFocus();
            field->input()->insert(u"geheim"_s);
            QCOMPARE(field->buffer(), u"geheim"_s);
            if (fieldFirst)
                delete field;
            window.reset();
            QCOMPARE(writes, 0);
        }
        QCOMPARE(writesAfterOwner, 0);
    }

    void outsideChangeReplacesBufferAtOnce()
    {
        TextFieldHelper* field = makeField();
        field->setDebounceInterval(60'000);
        type(field, u"alt"_s);
        m_owner.text = u"neu"_s;
        field->refresh();
        QCOMPARE(field->buffer(), u"neu"_s);
        QCOMPARE(field->input()->text(), u"neu"_s);
        field->commit();
        QCOMPARE(m_owner.text, u"neu"_s);
        QCOMPARE(m_owner.textWrites, 0);

        m_owner.text.clear();
        field->refresh();
        QCOMPARE(field->input()->text(), QString());

        // After the field's own write, only a value the owner sets counts as a change.
        type(field, u"abc"_s);
        field->commit();
        QCOMPARE(m_owner.text, u"abc"_s);
        type(field, u"d"_s);
        field->refresh();
        QCOMPARE(m_owner.text, u"abcd"_s);
        m_owner.text = u"abc"_s;
        field->refresh();
        QCOMPARE(field->buffer(), u"abc"_s);
    }

    void returnResetsShakesAndSubmits()
    {
        int submits = 0;
        int exits = 0;
        TextFieldHelper* field =
            makeField({.onSubmit = [&submits] { ++submits; }, .onExitCommand = [&exits] { ++exits; }});
        QWidget* host = field->input()->parentWidget();

        m_owner.shakes = 0.25;
        field->refresh();
        QCOMPARE(field->input()->x(), 5);
        QCOMPARE(field->input()->width(), host->width());
        m_owner.shakes = 0.75;
        field->refresh();
        QCOMPARE(field->input()->x(), -5);

        field->input()->setFocus();
        QTest::keyClick(field->input(), Qt::Key_Return);
        QCOMPARE(m_owner.shakes, 0.0);
        QCOMPARE(field->input()->x(), 0);
        QCOMPARE(submits, 1);

        QTest::keyClick(field->input(), Qt::Key_Escape);
        QCOMPARE(exits, 1);
    }

    void focusPulse()
    {
        TextFieldHelper* field = makeField();
        TextFieldModifier* box = field->box();
        box->setPulseDuration(40);
        QCOMPARE(box->lineWidth(), 0.5);
        field->input()->setFocus();
        QVERIFY(box->isFocused());
        QVERIFY(box->lineWidth() > 1.0);
        QTRY_COMPARE(box->lineWidth(), 1.0);
        m_window->findChildren<QLineEdit*>().last()->setFocus();
        QCOMPARE(box->lineWidth(), 0.5);
        QVERIFY(!box->isFocused());

        // A click on the box's padding focuses the input.
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(field->isFocused());
        box->setResetFocus(true);
        QVERIFY(!field->isFocused());
        QCOMPARE(box->lineWidth(), 0.5);
    }

    void symbolButton()
    {
        int clicks = 0;
        TextFieldButtonHelper bare(u"eye"_s, std::nullopt, Qt::gray, 20, [&clicks] { ++clicks; });
        QCOMPARE(bare.sizeHint(), QSize(20, 20));
        TextFieldButtonHelper labelled(u"eye"_s, u"Anzeigen"_s, Qt::gray, 20, [&clicks] { ++clicks; });
        QVERIFY(labelled.sizeHint().width() > 20);
        labelled.resize(labelled.sizeHint());
        QCOMPARE(labelled.symbolRect(), QRectF(0, 0, 20, 20)); // symbol first, the label after it
        labelled.show();
        QVERIFY(QTest::qWaitForWindowExposed(&labelled));
        const QPoint corner(labelled.width() - 1, labelled.height() - 1);
        QTest::mouseClick(&labelled, Qt::LeftButton, {}, corner);
        QCOMPARE(clicks, 1);
        labelled.setEnabled(false);
        QTest::mouseClick(&labelled, Qt::LeftButton, {}, corner);
        QCOMPARE(clicks, 1);
    }

    void captionAndWidth()
    {
        TextFieldHelper* blank = makeField({.title = u"   "_s});
        QVERIFY(!blank->caption());

        TextFieldHelper* field = makeField({.width = 300.0, .title = u"Passwort bestätigen"_s});
        QVERIFY(field->caption());
        QCOMPARE(field->caption()->text(), u"Passwort bestätigen"_s);
        QCOMPARE(field->caption()->maxLines(), 2);
        QCOMPARE(field->width(), 300);

        TextFieldHelper* markup = makeField({.title = u"<b>fett</b>"_s});
        QCOMPARE(markup->caption()->visibleLines(), QStringList{u"<b>fett</b>"_s});
    }
};

TARN_TEST_GUI_MAIN(TestTextFieldHelper)
#include "TestTextFieldHelper.moc"
