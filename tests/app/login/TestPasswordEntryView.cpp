#include "app/login/LockImageView.h"
#include "app/login/PasswordEntryView.h"
#include "app/login/PasswordFieldFrame.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/WindowContent.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/SecureInputView.h"
#include "kit/inputs/WarningTextHelper.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QClipboard>
#include <QProcess>

using namespace ShellTestSupport;
using namespace Qt::StringLiterals;

namespace {

// Notes how much of a widget shows each time it moves or is resized.
class VisibleWidthRecorder : public QObject
{
public:
    VisibleWidthRecorder(QWidget* widget, QList<int>* widths)
        : m_widget(widget)
        , m_widths(widths)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && m_widget->isVisible() &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
            m_widths->append(m_widget->visibleRegion().boundingRect().width());
        }
        return false;
    }

private:
    QWidget* m_widget;
    QList<int>* m_widths;
};

} // namespace

// The login screen against a keyring of its own: what the store says decides what an entry is
// matched with; wrong entries shake the window, turn red for a while and warn.
class TestPasswordEntryView : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<AppDelegate> m_delegate;
    const QString m_password = QStringLiteral("Geheim1!");

    PasswordEntryView* login() const { return m_delegate->windowContent()->passwordEntryView(); }

    // A fresh login screen of a launch with the app password stored; the store then holds `stored`.
    bool showLogin(const std::optional<QString>& stored, bool waitForAnswer = true)
    {
        m_delegate.reset();
        if (!storeAppPassword(m_password) || !(m_delegate = launch()) || m_delegate->isAuthenticated()) {
            return false;
        }
        if (stored != m_password) {
            // Changed behind the screen of this launch: the next login screen reads it anew.
            if (!storeAppPassword(stored)) {
                return false;
            }
            m_delegate->setIsAuthenticated(true);
            m_delegate->setIsAuthenticated(false);
        }
        return !waitForAnswer || answered(login());
    }

    static bool answered(PasswordEntryView* view)
    {
        QSignalSpy loaded(view, &PasswordEntryView::storedPasswordLoaded);
        return view->storedPassword() != PasswordEntryView::StoredPassword::unknown || loaded.wait();
    }

    void enter(const QString& text) { typeAndSubmit(login()->passwordField(), text); }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        shortenTimings();
        ShellTimings::colourResetMs = 500; // long enough to see the red
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void cleanup()
    {
        m_delegate.reset();
        Motion::setDefaultDuration(0);
        ShellTimings::colourResetMs = 500;
        QVERIFY(m_keyring->unlock());
        AppPasswordMarker::set(false);
        ShellTimings::loginLoadDelayMs = 5;
    }

    void entry_data()
    {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        const std::optional<QString> password = m_password;
        QTest::newRow("right password") << password << m_password << true;
        QTest::newRow("other letter case") << password << QStringLiteral("geheim1!") << false;
        QTest::newRow("longer") << password << (m_password + QLatin1Char('x')) << false;
        QTest::newRow("prefix") << password << QStringLiteral("Geheim") << false;
        QTest::newRow("empty") << password << QString() << false;
        QTest::newRow("none stored, empty") << std::optional<QString>() << QString() << true;
        QTest::newRow("none stored, text") << std::optional<QString>() << QStringLiteral("x") << false;
    }

    void entry()
    {
        QFETCH(std::optional<QString>, stored);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QVERIFY(showLogin(stored));
        DraggableWindow* window = m_delegate->mainWindow();
        const QPoint start = window->pos();
        QSignalSpy shaken(window, &DraggableWindow::shakeFinished);

        enter(typed);
        if (accepted) {
            QTRY_VERIFY(m_delegate->isAuthenticated());
            QCOMPARE(m_delegate->windowContent()->warningText(), std::nullopt);
            return;
        }
        QTRY_COMPARE(m_delegate->windowContent()->warningText(), std::optional(PasswordEntryView::wrongPasswordText));
        // Marked red at once, warned, shaken; the entry stays and is selected for the next try.
        QCOMPARE(login()->imgBgColor(), PasswordEntryView::wrongEntryColor());
        QCOMPARE(login()->txtBgColor(), PasswordEntryView::wrongEntryColor());
        QVERIFY(login()->passwordField()->shouldSelectAll());
        QCOMPARE(login()->passwordField()->text(), typed);
        QVERIFY(shaken.wait());
        QCOMPARE(window->pos(), start);
        // The colours come back after their delay.
        QTRY_COMPARE(login()->imgBgColor(), PasswordEntryView::defaultImgBgColor());
        QCOMPARE(login()->txtBgColor(), PasswordEntryView::defaultTxtBgColor());
        QVERIFY(!login()->passwordField()->shouldSelectAll());
        QVERIFY(!m_delegate->isAuthenticated());
    }

    // The right password typed after a wrong one logs in, wherever the typing falls against the
    // wrong entry's red colours and their return; each key comes as a real key event.
    void quickRetype_data()
    {
        QTest::addColumn<int>("resetMs");
        QTest::addColumn<int>("returnMs");
        QTest::addColumn<int>("keysBefore");
        QTest::addColumn<QString>("restAfter");
        QTest::newRow("right after the wrong entry") << 60000 << 0 << 8 << QString();
        QTest::newRow("across the reset, the rest while the colours return") << 300 << 60000 << 3 << u"returning"_s;
        QTest::newRow("across the reset, the rest after it") << 300 << 30 << 3 << u"returned"_s;
        QTest::newRow("while the colours return") << 300 << 60000 << 0 << u"returning"_s;
        QTest::newRow("after the reset") << 300 << 30 << 0 << u"returned"_s;
    }

    void quickRetype()
    {
        QFETCH(int, resetMs);
        QFETCH(int, returnMs);
        QFETCH(int, keysBefore);
        QFETCH(QString, restAfter);
        ShellTimings::colourResetMs = resetMs;
        Motion::setDefaultDuration(returnMs);
        QVERIFY(showLogin(m_password));
        SecureInputView* field = login()->passwordField();

        enter(QStringLiteral("falsch"));
        QTRY_COMPARE(m_delegate->windowContent()->warningText(), std::optional(PasswordEntryView::wrongPasswordText));
        QCOMPARE(login()->imgBgColor(), PasswordEntryView::wrongEntryColor());
        QCoreApplication::processEvents();
        QCOMPARE(field->selectedText().size(), 6);

        QTest::keyClicks(field, m_password.left(keysBefore));
        if (restAfter == u"returning"_s) {
            QTRY_VERIFY(login()->imgBgColor() != PasswordEntryView::wrongEntryColor());
            QVERIFY(login()->imgBgColor() != PasswordEntryView::defaultImgBgColor());
        } else if (restAfter == u"returned"_s) {
            QTRY_COMPARE(login()->imgBgColor(), PasswordEntryView::defaultImgBgColor());
        }
        // The rest at a typist's pace, the event loop running between the keys.
        QTest::keyClicks(field, m_password.mid(keysBefore), Qt::NoModifier, 5);
        QCOMPARE(field->text(), m_password);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY(m_delegate->isAuthenticated());
    }

    // Return before the store has answered waits for the answer: an empty entry is no match for a
    // password the screen has not read yet.
    void returnBeforeTheAnswer_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("right password") << m_password << true;
    }

    void returnBeforeTheAnswer()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        ShellTimings::loginLoadDelayMs = 60000;
        QVERIFY(showLogin(m_password, false));
        QCOMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::unknown);
        enter(typed);
        QVERIFY(!m_delegate->isAuthenticated());
        QTRY_COMPARE(m_delegate->isAuthenticated(), accepted);
        if (!accepted) {
            QTRY_COMPARE(m_delegate->windowContent()->warningText(),
                         std::optional(PasswordEntryView::wrongPasswordText));
        }
    }

    // A store that cannot answer: its failure shows, Return asks again, and once it answers the
    // right password gets in.
    void failingStore()
    {
        AppPasswordMarker::set(true);
        ShellTimings::loginLoadDelayMs = 60000;
        QVERIFY(showLogin(m_password, false));
        QVERIFY(m_keyring->lock());
        const auto failure = std::optional(AppPassword::failureText({SecretStoreError::locked, {}}));

        enter(m_password);
        QTRY_COMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::failed);
        QCOMPARE(m_delegate->windowContent()->warningText(), failure);
        QVERIFY(!m_delegate->isAuthenticated());

        // Return asks the store again.
        QSignalSpy loaded(login(), &PasswordEntryView::storedPasswordLoaded);
        QTest::keyClick(login()->passwordField(), Qt::Key_Return);
        QVERIFY(loaded.wait());
        QCOMPARE(m_delegate->windowContent()->warningText(), failure);
        QVERIFY(!m_delegate->isAuthenticated());

        QVERIFY(m_keyring->unlock());
        QTest::keyClick(login()->passwordField(), Qt::Key_Return);
        QTRY_VERIFY(m_delegate->isAuthenticated());
    }

    // A long password pasted into the settings was saved cut to the entries' limit; the same paste
    // at the login is cut the same way, so it unlocks.
    void longPasteIsCutAsTheSettingsCutIt_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::newRow("letters") << u"Ab3"_s;
        // Two code units per character: the cut counts characters, not units.
        QTest::newRow("combining marks") << u"e\u0301"_s;
    }

    void longPasteIsCutAsTheSettingsCutIt()
    {
        QFETCH(QString, piece);
        QString pasted;
        while (pasted.size() < 10000) {
            pasted += piece;
        }
        QString saved;
        for (int i = 0; i < PasswordViewModel::characterLimit; ++i) {
            saved += piece.size() == 3 ? piece.at(i % 3) : piece;
        }
        m_delegate.reset();
        QVERIFY(storeAppPassword(saved));
        QVERIFY((m_delegate = launch()) && !m_delegate->isAuthenticated());
        QVERIFY(answered(login()));

        QGuiApplication::clipboard()->setText(pasted);
        SecureInputView* field = login()->passwordField();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), saved);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY(m_delegate->isAuthenticated());
        QGuiApplication::clipboard()->clear();
    }

    // An app-password item that holds no text keeps the app locked, and the warning says how to get
    // past it: the settings, where the password could be saved again, are out of reach while locked.
    void damagedItemSaysWhatHelps_data()
    {
        QTest::addColumn<bool>("noted");
        QTest::newRow("noted as saved") << true;
        // The item alone keeps the app locked.
        QTest::newRow("not noted") << false;
    }

    void damagedItemSaysWhatHelps()
    {
        QFETCH(bool, noted);
        AppPasswordMarker::set(noted);
        m_delegate.reset();
        QVERIFY(storeAppPassword(m_password));
        QProcess tool;
        tool.start(
            u"secret-tool"_s,
            {u"store"_s, u"--label=raw"_s, u"service"_s, AppPassword::service(), u"account"_s, AppPassword::key()});
        QVERIFY(tool.waitForStarted());
        tool.write(QByteArray("\xff\xfe\x80", 3));
        tool.closeWriteChannel();
        QVERIFY(tool.waitForFinished() && tool.exitCode() == 0);

        QVERIFY((m_delegate = launch()) && !m_delegate->isAuthenticated());
        QVERIFY(answered(login()));
        QCOMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::failed);
        const auto text = m_delegate->windowContent()->warningText();
        QVERIFY(text);
        QCOMPARE(*text, PasswordEntryView::damagedItemText());
        QVERIFY(text->contains(u"de.Tarn-Backup-Manager.MasterPassword/masterPassword"_s));
        QVERIFY(text->contains(u"Passwörter und Schlüssel"_s));
        QVERIFY(!text->contains(u"Speichere"_s));
        if (qEnvironmentVariableIsSet("TARN_SCREENSHOT_DIR")) {
            QTRY_VERIFY(m_delegate->windowContent()->warningLine()->isVisible());
            QTest::qWait(600);
            m_delegate->mainWindow()->grab().save(qEnvironmentVariable("TARN_SCREENSHOT_DIR") +
                                                  u"/login-damaged-item.png"_s);
        }
        // No entry gets past it.
        enter(m_password);
        QTest::qWait(200);
        QVERIFY(!m_delegate->isAuthenticated());
        QCOMPARE(m_delegate->windowContent()->warningText(), text);

        // Once the item is gone the app has no app password.
        QVERIFY(storeAppPassword(std::nullopt));
        m_delegate.reset();
        QVERIFY((m_delegate = launch()) && m_delegate->isAuthenticated());
    }

    void touchIdButtonFollowsTheChoice_data()
    {
        QTest::addColumn<bool>("useTouchID");
        QTest::newRow("chosen") << true;
        QTest::newRow("not chosen") << false;
    }

    void touchIdButtonFollowsTheChoice()
    {
        QFETCH(bool, useTouchID);
        setTouchIdChoice(useTouchID);
        QVERIFY(showLogin(m_password));
        if (useTouchID) {
            QTRY_VERIFY(login()->isTouchID());
            QVERIFY(login()->touchIdButton()->isVisible());
        } else {
            QVERIFY(!login()->touchIdButton()->isVisible());
        }
        setTouchIdChoice(false);
    }

    // The fingerprint button slides in beside the field: it comes out from behind the field while
    // the row makes room, and ends one spacing from the field with the row centred.
    void touchIdButtonSlidesIn()
    {
        setTouchIdChoice(true);
        Motion::setDefaultDuration(200);
        QVERIFY(showLogin(m_password));
        TrendyButtonHelper* button = login()->touchIdButton();
        QList<int> shownWidths;
        VisibleWidthRecorder recorder(button, &shownWidths);
        QTRY_VERIFY(login()->isTouchID());
        QTRY_COMPARE(button->visibleRegion().boundingRect().width(), button->width());
        QTRY_VERIFY(!shownWidths.isEmpty() && shownWidths.last() == button->width());
        setTouchIdChoice(false);

        QVERIFY2(shownWidths.size() >= 3 && shownWidths.first() < button->width() / 2,
                 qPrintable(QStringLiteral("widths shown: %1").arg(QDebug::toString(shownWidths))));
        for (qsizetype i = 1; i < shownWidths.size(); ++i) {
            QVERIFY(shownWidths.at(i) >= shownWidths.at(i - 1));
        }
        // At the end: one spacing from the field, the row centred in the screen.
        const auto gap = [this, button] {
            return button->mapTo(login(), QPoint(0, 0)).x() - login()->fieldFrame()->geometry().right() - 1;
        };
        QTRY_COMPARE(gap(), 5);
        const QRect buttonArea(button->mapTo(login(), QPoint(0, 0)), button->size());
        const int left = login()->findChild<LockImageView*>()->geometry().left();
        QVERIFY(qAbs(left - (login()->width() - 1 - buttonArea.right())) <= 1);
    }

    void focusOutline()
    {
        QVERIFY(showLogin(m_password));
        QVERIFY(QTest::qWaitForWindowActive(m_delegate->mainWindow()));
        PasswordFieldFrame* frame = login()->fieldFrame();
        QTRY_VERIFY(login()->passwordField()->hasFocus());
        QTRY_COMPARE(frame->lineWidth(), PasswordFieldFrame::focusedLineWidth);
        login()->passwordField()->clearFocus();
        QCOMPARE(frame->lineWidth(), PasswordFieldFrame::unfocusedLineWidth);
        QTest::mouseClick(frame, Qt::LeftButton, {}, QPoint(5, 25));
        QVERIFY(login()->passwordField()->hasFocus());
    }
};

TARN_TEST_GUI_MAIN(TestPasswordEntryView)
#include "TestPasswordEntryView.moc"
