#include "kit/inputs/SecureInputView.h"
#include "kit/inputs/TextFieldModifier.h"
#include "tests/support/TestMain.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRawFont>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

qreal sizeOf(const QFont& font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
}

// A screen that owns the bound password, with the field as its child. Writes that reach the
// binding after the screen's own destructor ran are counted instead of made.
class OwningScreen : public QWidget
{
public:
    explicit OwningScreen(int* lateWrites)
    {
        auto* layout = new QVBoxLayout(this);
        const std::shared_ptr<bool> alive = m_alive;
        field = new SecureInputView(Binding<QString>([this, alive] { return *alive ? password : QString(); },
                                                     [this, alive, lateWrites](const QString& value) {
                                                         if (*alive)
                                                             password = value;
                                                         else
                                                             ++*lateWrites;
                                                     }),
                                    24, u"Master-Passwort eingeben"_s);
        layout->addWidget(field);
        other = new QLineEdit;
        layout->addWidget(other);
    }
    ~OwningScreen() override { *m_alive = false; }

    QString password;
    SecureInputView* field;
    QLineEdit* other;

private:
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace

class TestSecureInputView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_elsewhere = nullptr;
    QString m_password;
    int m_enters = 0;

    SecureInputView* makeField(bool withAction = true)
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        std::function<void()> onEnter;
        if (withAction)
            onEnter = [this] { ++m_enters; };
        auto* field =
            new SecureInputView(Binding<QString>::to(&m_password), 24, u"Master-Passwort eingeben"_s, false, onEnter);
        layout->addWidget(field);
        m_elsewhere = new QLineEdit;
        layout->addWidget(m_elsewhere);
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("window not active");
        field->setFocus();
        return field;
    }

private Q_SLOTS:
    void init()
    {
        m_password.clear();
        m_enters = 0;
    }
    void cleanup() { m_window.reset(); }

    void lookAndPlaceholder()
    {
        SecureInputView* field = makeField();
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QVERIFY(!field->hasFrame());
        QCOMPARE(sizeOf(field->font()), 24.0);
        QCOMPARE(sizeOf(field->placeholderFont()), 22.0);
        QCOMPARE(field->font().family(), u"Roboto"_s);
        QCOMPARE(field->placeholderFont().family(), u"Roboto"_s);
        QCOMPARE(field->placeholderString(), u"Master-Passwort eingeben"_s);
        QCOMPARE(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    }

    // The login's entry: the field 30 high, padded 10 and 4, boxed 300 wide.
    void placeholderShowsWholeAtTheLoginSize()
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        auto* field = new SecureInputView(Binding<QString>::to(&m_password), 24, u"Master-Passwort eingeben"_s);
        field->setFixedHeight(30);
        auto* box = new TextFieldModifier(field, field->font(), Qt::black, Qt::white);
        box->setPadding(QMargins(10, 4, 10, 4));
        box->setFixedWidth(300);
        layout->addWidget(box);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        QCOMPARE(field->width(), 280);
        const QRect area = field->placeholderRect();
        QVERIFY(field->rect().contains(area));
        const int needed = QFontMetrics(field->placeholderFont()).horizontalAdvance(field->placeholderString());
        QVERIFY2(needed <= area.width(), qPrintable(u"%1 px of text in %2 px"_s.arg(needed).arg(area.width())));
        QVERIFY(QFontMetrics(field->placeholderFont()).height() <= area.height());
    }

    void maskIsABulletOfTheFieldsFont()
    {
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"abc"_s);
        QCOMPARE(field->displayText(), QString(3, QChar(0x2022)));
        QVERIFY(QRawFont::fromFont(field->font()).supportsCharacter(QChar(0x2022)));
    }

    void typingReachesBindingAfterTheEvent()
    {
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"abc"_s);
        QCOMPARE(field->text(), u"abc"_s);
        QTRY_COMPARE(m_password, u"abc"_s);
        field->refresh();
        QCOMPARE(field->text(), u"abc"_s);
        QCOMPARE(field->cursorPosition(), 3);
    }

    void queuedWritesKeepKeystrokesAndCaret()
    {
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"abd"_s);
        QTest::keyClick(field, Qt::Key_Left);
        QTest::keyClicks(field, u"c"_s);
        // The owner redraws before the queued writes ran: its value is stale.
        QCOMPARE(m_password, QString());
        field->refresh();
        QCOMPARE(field->text(), u"abcd"_s);
        QCOMPARE(field->cursorPosition(), 3);
        QTRY_COMPARE(m_password, u"abcd"_s);
        QCOMPARE(field->cursorPosition(), 3);
    }

    // The wipe overwrites the characters where they lie, so the bound copy, which shares them, is
    // overwritten too; so does the field's destruction.
    void wipeOverwritesTheTextWhereItLies_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("wipe") << false;
        QTest::newRow("field destroyed") << true;
    }

    void wipeOverwritesTheTextWhereItLies()
    {
        QFETCH(bool, destroy);
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"Geheim12"_s);
        field->commit();
        QCOMPARE(m_password, u"Geheim12"_s);
        const QString held = m_password;
        if (destroy) {
            delete field;
        } else {
            field->wipe();
            QCOMPARE(field->text(), QString());
            QVERIFY(!field->isUndoAvailable());
        }
        QCOMPARE(held, QString(8, QChar(0)));
    }

    // A paste past the limit keeps the first characters, counted as users count them.
    void pasteIsCutAtTheLimit_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("kept");
        QTest::newRow("letters") << u"ab"_s << 100 << u"ab"_s.repeated(50);
        QTest::newRow("combining marks") << u"e\u0301"_s << 100 << u"e\u0301"_s.repeated(100);
        QTest::newRow("no limit") << u"ab"_s << -1 << u"ab"_s.repeated(5000);
    }

    void pasteIsCutAtTheLimit()
    {
        QFETCH(QString, piece);
        QFETCH(int, limit);
        QFETCH(QString, kept);
        SecureInputView* field = makeField();
        field->setCharacterLimit(limit);
        const QString pasted = piece.repeated(5000);
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QGuiApplication::clipboard()->clear();
        QCOMPARE(field->text(), kept);
        QTRY_COMPARE(m_password, kept);
    }

    void outsideTextReplacesEntry()
    {
        SecureInputView* field = makeField();
        m_password = u"alt"_s;
        field->refresh();
        QCOMPARE(field->text(), u"alt"_s);
        m_password.clear();
        field->refresh();
        QCOMPARE(field->text(), QString());
    }

    void returnRunsActionAndSelectsAll_data()
    {
        QTest::addColumn<bool>("withAction");
        QTest::newRow("with action") << true;
        QTest::newRow("without action") << false;
    }

    void returnRunsActionAndSelectsAll()
    {
        QFETCH(bool, withAction);
        SecureInputView* field = makeField(withAction);
        QString passwordAtEnter;
        QTest::keyClicks(field, u"geheim"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(field->selectedText().size(), 6);
        QCOMPARE(m_enters, withAction ? 1 : 0);
        QCOMPARE(field->text(), u"geheim"_s);
        QCOMPARE(m_password, u"geheim"_s);
    }

    void enterActionReadsTheLatestKeystroke()
    {
        QString seen;
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        auto* field = new SecureInputView(Binding<QString>::to(&m_password), 24, u""_s, false,
                                          [this, &seen] { seen = m_password; });
        layout->addWidget(field);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        field->setFocus();
        QTest::keyClicks(field, u"pw"_s);
        QTest::keyClick(field, Qt::Key_Enter);
        QTRY_COMPARE(seen, u"pw"_s);
    }

    void selectAllOnlyWhileEditing()
    {
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"abc"_s);
        m_elsewhere->setFocus();
        field->setShouldSelectAll(true);
        field->refresh();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QVERIFY(!field->hasSelectedText());

        field->setFocus();
        field->deselect();
        field->refresh();
        QTRY_COMPARE(field->selectedText().size(), 3);
    }

    // A request selects the entry once; what is typed after it survives whatever the owner does
    // next with the flag or the field.
    void selectionIsMadeOnce_data()
    {
        QTest::addColumn<bool>("askedWhileEditing");
        QTest::addColumn<QString>("thenOwner");
        QTest::addColumn<QString>("expected");
        QTest::newRow("flag written again") << true << u"set"_s << u"Geheim1!"_s;
        QTest::newRow("refresh while the flag stands") << true << u"refresh"_s << u"Geheim1!"_s;
        QTest::newRow("flag turned off") << true << u"clear"_s << u"Geheim1!"_s;
        QTest::newRow("asked while away, typed before a refresh") << false << u"refresh"_s << u"falschGeheim1!"_s;
    }

    void selectionIsMadeOnce()
    {
        QFETCH(bool, askedWhileEditing);
        QFETCH(QString, thenOwner);
        QFETCH(QString, expected);
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"falsch"_s);
        field->deselect();
        if (!askedWhileEditing)
            m_elsewhere->setFocus();
        field->setShouldSelectAll(true);
        if (askedWhileEditing) {
            QTRY_COMPARE(field->selectedText().size(), 6);
        } else {
            QCoreApplication::processEvents();
            field->setFocus();
            QVERIFY(!field->hasSelectedText());
        }

        QTest::keyClicks(field, u"Geh"_s);
        if (thenOwner == u"set"_s)
            field->setShouldSelectAll(true);
        else if (thenOwner == u"refresh"_s)
            field->refresh();
        else
            field->setShouldSelectAll(false);
        QCoreApplication::processEvents();
        QVERIFY(!field->hasSelectedText());
        QTest::keyClicks(field, u"eim1!"_s);
        QCOMPARE(field->text(), expected);
        QTRY_COMPARE(m_password, expected);
    }

    void pendingKeystrokeDiesWithItsOwner_data()
    {
        QTest::addColumn<bool>("focused");
        QTest::newRow("field focused") << true;
        QTest::newRow("focus moved on") << false;
    }

    // The keystroke's write is still queued when the owner goes (focus leaving the field on the
    // way out included): it must not reach the owner.
    void pendingKeystrokeDiesWithItsOwner()
    {
        QFETCH(bool, focused);
        int lateWrites = 0;
        auto screen = std::make_unique<OwningScreen>(&lateWrites);
        screen->show();
        screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(screen.get()));
        screen->field->setFocus();
        QTest::keyClicks(screen->field, u"xyz"_s);
        QCOMPARE(screen->password, QString());
        if (!focused)
            screen->other->setFocus();
        screen.reset();
        QCoreApplication::processEvents();
        QCOMPARE(lateWrites, 0);
    }

    void commitHandsOverAPendingKeystroke()
    {
        SecureInputView* field = makeField();
        QTest::keyClicks(field, u"xyz"_s);
        QCOMPARE(m_password, QString());
        field->commit();
        QCOMPARE(m_password, u"xyz"_s);
        m_password = u"changed"_s;
        delete field; // nothing queued any more: the owner's value stays
        QCoreApplication::processEvents();
        QCOMPARE(m_password, u"changed"_s);
    }

    void sharedFrameForTheLogin()
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        auto* field = new SecureInputView(Binding<QString>::to(&m_password), 24, u""_s);
        auto* box = new TextFieldModifier(field, field->font(), Qt::black, Qt::white);
        box->setPadding(QMargins(10, 4, 10, 4));
        box->setPulseDuration(30);
        layout->addWidget(box);
        auto* other = new QLineEdit;
        layout->addWidget(other);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        other->setFocus();
        QCOMPARE(box->lineWidth(), 0.5);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(field->hasFocus());
        QCOMPARE(box->lineWidth(), 2.5);
        QTRY_COMPARE(box->lineWidth(), 1.0);
        other->setFocus();
        QCOMPARE(box->lineWidth(), 0.5);
    }
};

TARN_TEST_GUI_MAIN(TestSecureInputView)
#include "TestSecureInputView.moc"
