#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordSettingsGroup.h"
#include "app/settings/PasswordView.h"
#include "app/settings/SettingsContent.h"
#include "app/shell/AppDelegate.h"
#include "core/credentials/AppPasswordMarker.h"
#include "core/lock/InactivityMonitor.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPromise>

using namespace SettingsTest;

// A password tab against a keyring of its own: creating, changing and removing both passwords, the
// questions and failures on the way, and the automatic-logout settings.
class TestPasswordView : public QObject
{
    Q_OBJECT

    PasswordTabFixture m_fixture;
    const PasswordModel& m_app = m_fixture.app;
    const PasswordModel& m_archive = m_fixture.archive;

    PasswordView* makeTab(const PasswordModel& model) { return m_fixture.makeTab(model); }

    static bool isShown(QWidget* widget) { return widget && widget->isVisibleTo(widget->window()); }

    // Whether a one-line success band at the tab's bottom would lie over its buttons.
    static bool bandCoversButtons(PasswordView* view)
    {
        const int bandTop = view->height() - view->warningText()->reservedHeight(view->width());
        const QWidget* button = view->changeButton();
        return button->mapTo(view, QPoint(0, button->height())).y() > bandTop;
    }

    // Opens the edit sheet, types both entries and clicks "Speichern".
    static void enterAndSave(PasswordView* view, const QString& password, const QString& repetition)
    {
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        PasswordEditSheet* sheet = view->editSheet();
        QVERIFY(sheet);
        QCOMPARE(sheet->passwordField()->buffer(), QString());
        QCOMPARE(sheet->confirmationField()->buffer(), QString());
        QTest::keyClicks(sheet->passwordField()->input(), password);
        QTest::keyClicks(sheet->confirmationField()->input(), repetition);
        QTest::mouseClick(sheet->middleButton(), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.keyring.start()); }
    void cleanupTestCase()
    {
        m_fixture.close();
        m_fixture.keyring.stop();
    }

    void init() { QVERIFY(m_fixture.reset()); }
    void cleanup()
    {
        PasswordView::holdStoredStateReads(QtFuture::makeReadyFuture());
        m_fixture.close();
    }

    void modelTexts()
    {
        QCOMPARE(m_app.key, ModelType::masterPassword);
        QCOMPARE(m_app.service, QStringLiteral("de.Tarn-Backup-Manager.MasterPassword"));
        QVERIFY(m_app.isTouchID);
        QCOMPARE(m_app.text,
                 QStringLiteral("Bitte gib das Master-Passwort ein, um die App zu entsperren. Das Passwort wird sicher "
                                "im standardmäßigen Schlüsselbund gespeichert."));
        QCOMPARE(m_archive.key, ModelType::zipPassword);
        QCOMPARE(m_archive.service, QStringLiteral("de.Tarn-Backup-Manager.ZipPassword"));
        QVERIFY(!m_archive.isTouchID);
        QCOMPARE(m_archive.text,
                 QStringLiteral("Bitte gib das Master-Passwort für Archive ein. Das Passwort wird sicher im "
                                "standardmäßigen Schlüsselbund gespeichert. Nach der Erstellung eines Archivs wird "
                                "empfohlen, das Master-Passwort nicht mehr zu ändern, da dieses Passwort zur "
                                "Verschlüsselung der Archive verwendet wird."));
    }

    static bool bandClearsButtons(PasswordView* view)
    {
        const QRect band = view->warningText()->geometry();
        for (QWidget* button :
             {static_cast<QWidget*>(view->changeButton()), static_cast<QWidget*>(view->removeButton())}) {
            if (isShown(button) && band.intersects(QRect(button->mapTo(view, QPoint()), button->size()))) {
                return false;
            }
        }
        return view->warningText()->isBandShown();
    }

    void createChangeRemove_data()
    {
        QTest::addColumn<bool>("app");
        QTest::addColumn<int>("emptyHeight");
        QTest::addColumn<int>("storedHeight");
        QTest::newRow("app password") << true << 170 << 260;
        QTest::newRow("archive password") << false << 220 << 220;
    }

    void createChangeRemove()
    {
        QFETCH(bool, app);
        QFETCH(int, emptyHeight);
        QFETCH(int, storedHeight);
        const PasswordModel& model = app ? m_app : m_archive;
        QVERIFY(m_fixture.launchMainWindow());
        QCOMPARE(m_fixture.lockItems(), 0);
        PasswordView* view = makeTab(model);
        QVERIFY(settled(view));
        QCOMPARE(view->textLabel()->text(), model.text);
        QCOMPARE(view->changeButton()->fields().text, QStringLiteral("Passwort erstellen"));
        QVERIFY(!isShown(view->removeButton()));
        QVERIFY(!isShown(view->settingsGroup()));
        QVERIFY(view->height() >= emptyHeight);

        // Create.
        enterAndSave(view, QStringLiteral("Geheim42"), QStringLiteral("Geheim42"));
        QVERIFY(settled(view));
        QCOMPARE(stored(model), QStringLiteral("Geheim42"));
        QVERIFY(!view->editSheet());
        QCOMPARE(view->failureAlert(), nullptr);
        QCOMPARE(view->warningText()->shownText(),
                 std::optional(QStringLiteral("Das Passwort wurde erfolgreich gespeichert!")));
        QCOMPARE(view->changeButton()->fields().text, QStringLiteral("Passwort ändern"));
        QVERIFY(isShown(view->removeButton()));
        QCOMPARE(isShown(view->settingsGroup()), app);
        QVERIFY(view->height() >= storedHeight);
        // The success band has room of its own below the buttons.
        QTRY_VERIFY(bandClearsButtons(view));
        // Saving the app password puts the lock item into the main window's toolbar.
        QTRY_COMPARE(m_fixture.lockItems(), app ? 1 : 0);
        QCOMPARE(AppPasswordMarker::isSet(), app);

        // Change: the archive password is replaced only after the question.
        enterAndSave(view, QStringLiteral("Neu12345"), QStringLiteral("Neu12345"));
        if (!app) {
            QTRY_VERIFY(view->failureAlert());
            QCOMPARE(title(view->failureAlert()), QStringLiteral("Warnung"));
            QCOMPARE(message(view->failureAlert()),
                     QStringLiteral("Es gibt bereits ein Passwort im Schlüsselbund. Möchtest du das vorhandene "
                                    "Passwort überschreiben? Backups, die mit dem alten Passwort gespeichert wurden, "
                                    "können danach nicht mehr wiederhergestellt werden."));
            QCOMPARE(buttonTitles(view->failureAlert()),
                     QStringList({QStringLiteral("Abbrechen"), QStringLiteral("Speichern")}));
            QCOMPARE(stored(model), QStringLiteral("Geheim42"));
            QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("Speichern")));
        }
        QTRY_VERIFY(!view->editSheet());
        QVERIFY(settled(view));
        QCOMPARE(stored(model), QStringLiteral("Neu12345"));
        QCOMPARE(m_fixture.lockItems(), app ? 1 : 0);

        // Remove, after the confirmation.
        m_fixture.delegate->inactivityMonitor()->setIsAutoLogoutEnabled(true);
        QTest::mouseClick(view->removeButton(), Qt::LeftButton);
        QVERIFY(view->removalConfirmation());
        QCOMPARE(title(view->removalConfirmation()), QStringLiteral("Löschen"));
        QCOMPARE(message(view->removalConfirmation()), QStringLiteral("Möchtest du das Passwort wirklich löschen?"));
        QCOMPARE(buttonTitles(view->removalConfirmation()),
                 QStringList({QStringLiteral("Abbrechen"), QStringLiteral("Ja")}));
        QVERIFY(clickAlertButton(view->removalConfirmation(), QStringLiteral("Ja")));
        QVERIFY(settled(view));
        QCOMPARE(stored(model), QStringLiteral("<absent>"));
        QCOMPARE(view->warningText()->shownText(),
                 std::optional(QStringLiteral("Das Passwort wurde erfolgreich entfernt!")));
        QCOMPARE(view->changeButton()->fields().text, QStringLiteral("Passwort erstellen"));
        QVERIFY(!isShown(view->removeButton()));
        QVERIFY(!isShown(view->settingsGroup()));
        QVERIFY(view->height() >= emptyHeight);
        QTRY_COMPARE(m_fixture.lockItems(), 0);
        QVERIFY(!AppPasswordMarker::isSet());
        // Removing either password switches automatic logout off.
        QVERIFY(!m_fixture.delegate->inactivityMonitor()->isAutoLogoutEnabled());
        QCOMPARE(QSettings().value(InactivityMonitor::autoLogoutKey), QVariant(false));
    }

    void overrideQuestionCancelKeepsPasswordAndSheet()
    {
        QVERIFY(store(m_archive, QStringLiteral("Alt1")));
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        enterAndSave(view, QStringLiteral("Neu22"), QStringLiteral("Neu22"));
        QTRY_VERIFY(view->failureAlert());
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("Abbrechen")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        QVERIFY(settled(view));
        QCOMPARE(stored(m_archive), QStringLiteral("Alt1"));
        QCOMPARE(view->viewModel()->validationError(), std::nullopt);
        PasswordEditSheet* sheet = view->editSheet();
        QVERIFY(sheet);
        QCOMPARE(sheet->passwordField()->buffer(), QStringLiteral("Neu22"));
        QCOMPARE(sheet->confirmationField()->buffer(), QStringLiteral("Neu22"));
    }

    void overrideSaveAlwaysSaves_data()
    {
        QTest::addColumn<bool>("slowStore");
        QTest::newRow("store answers at once") << false;
        QTest::newRow("store answers late") << true;
    }

    // "Speichern" of the question saves even while the failed save still reads the stored state.
    void overrideSaveAlwaysSaves()
    {
        QFETCH(bool, slowStore);
        QVERIFY(store(m_archive, QStringLiteral("Alt1")));
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        QPromise<void> answer;
        answer.start();
        if (slowStore) {
            PasswordView::holdStoredStateReads(answer.future());
        }
        enterAndSave(view, QStringLiteral("Neu22"), QStringLiteral("Neu22"));
        QTRY_VERIFY(view->failureAlert());
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Warnung"));
        if (slowStore) {
            QVERIFY(view->isLoading());
        } else {
            QVERIFY(settled(view));
        }
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("Speichern")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        if (slowStore) {
            // Waiting for the read: the sheet stays open with its button disabled, nothing is written yet.
            QVERIFY(view->editSheet());
            QVERIFY(view->editSheet()->middleButton()->isDisabled());
            QCOMPARE(stored(m_archive), QStringLiteral("Alt1"));
            answer.finish();
            PasswordView::holdStoredStateReads(QtFuture::makeReadyFuture());
        }
        QTRY_VERIFY(!view->editSheet());
        QVERIFY(settled(view));
        QCOMPARE(stored(m_archive), QStringLiteral("Neu22"));
        QCOMPARE(view->failureAlert(), nullptr);
        QCOMPARE(view->viewModel()->validationError(), std::nullopt);
        QCOMPARE(view->warningText()->shownText(),
                 std::optional(QStringLiteral("Das Passwort wurde erfolgreich gespeichert!")));
        // The typed password goes with the sheet.
        QCOMPARE(view->viewModel()->password1(), QString());
        QCOMPARE(view->viewModel()->password2(), QString());
    }

    // An override that waits for the stored state is dropped when the user closes the sheet meanwhile.
    void cancelledSheetDropsAWaitingOverride()
    {
        QVERIFY(store(m_archive, QStringLiteral("Alt1")));
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        QPromise<void> answer;
        answer.start();
        PasswordView::holdStoredStateReads(answer.future());
        enterAndSave(view, QStringLiteral("Neu22"), QStringLiteral("Neu22"));
        QTRY_VERIFY(view->failureAlert());
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("Speichern")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        QVERIFY(view->editSheet());
        QTest::mouseClick(view->editSheet()->leftButton(), Qt::LeftButton);
        QTRY_VERIFY(!view->editSheet());
        QCOMPARE(view->viewModel()->password1(), QString());
        answer.finish();
        PasswordView::holdStoredStateReads(QtFuture::makeReadyFuture());
        QVERIFY(settled(view));
        QCOMPARE(stored(m_archive), QStringLiteral("Alt1"));
    }

    void invalidEntriesShowErrorAndKeepSheet_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("repetition");
        QTest::addColumn<QString>("expected");
        QTest::newRow("entries differ") << "Passwort1"
                                        << "Passwort2" << QStringLiteral("Deine Passwörter stimmen nicht überein.");
        QTest::newRow("too short") << "abc"
                                   << "abc"
                                   << QStringLiteral(
                                          "Dein Passwort ist zu kurz. Es muss mindestens 4 Zeichen enthalten.");
        QTest::newRow("punctuation") << "Pass-wort"
                                     << "Pass-wort"
                                     << QStringLiteral("Dein Passwort darf nur Buchstaben und Zahlen enthalten.");
    }

    void invalidEntriesShowErrorAndKeepSheet()
    {
        QFETCH(QString, password);
        QFETCH(QString, repetition);
        QFETCH(QString, expected);
        PasswordView* view = makeTab(m_app);
        QVERIFY(settled(view));
        enterAndSave(view, password, repetition);
        QTRY_VERIFY(view->failureAlert());
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Error"));
        QCOMPARE(message(view->failureAlert()), expected);
        QCOMPARE(buttonTitles(view->failureAlert()), QStringList{QStringLiteral("OK")});
        // The alert lies over the sheet, which keeps its entries.
        QCOMPARE(view->failureAlert()->host(), view->editSheet());
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("OK")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        QVERIFY(settled(view));
        QVERIFY(view->editSheet());
        QCOMPARE(view->editSheet()->passwordField()->buffer(), password);
        QCOMPARE(view->editSheet()->confirmationField()->buffer(), repetition);
        QCOMPARE(stored(m_app), QStringLiteral("<absent>"));
        QVERIFY(!AppPasswordMarker::isSet());

        // "Abbrechen" closes the sheet; the next opening starts empty.
        QTest::mouseClick(view->editSheet()->leftButton(), Qt::LeftButton);
        QTRY_VERIFY(!view->editSheet());
        QVERIFY(!view->viewModel()->showTextFields());
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        QVERIFY(view->editSheet());
        QCOMPARE(view->editSheet()->passwordField()->buffer(), QString());
        QCOMPARE(view->viewModel()->password1(), QString());
    }

    void entriesAreLimitedAndMaskedTogether()
    {
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        PasswordEditSheet* sheet = view->editSheet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->passwordField()->input(), QString(120, QLatin1Char('a')));
        QCOMPARE(sheet->passwordField()->buffer().size(), 100);
        QCOMPARE(sheet->passwordField()->input()->echoMode(), QLineEdit::Password);
        QCOMPARE(sheet->confirmationField()->input()->echoMode(), QLineEdit::Password);

        QTest::keyClicks(sheet->confirmationField()->input(), QStringLiteral("b"));
        QTest::mouseClick(sheet->confirmationField()->showHideButton(), Qt::LeftButton);
        QCOMPARE(sheet->passwordField()->input()->echoMode(), QLineEdit::Normal);
        QCOMPARE(sheet->confirmationField()->input()->echoMode(), QLineEdit::Normal);
        QVERIFY(!view->viewModel()->isMaskedPassword());

        // Typing that still waits for its pause survives the other field's button.
        sheet->passwordField()->setDebounceInterval(60'000);
        sheet->passwordField()->input()->setFocus();
        QTest::keyClick(sheet->passwordField()->input(), Qt::Key_Backspace);
        QTest::keyClicks(sheet->passwordField()->input(), QStringLiteral("c"));
        QVERIFY(sheet->passwordField()->isFocused());
        QTest::mouseClick(sheet->confirmationField()->showHideButton(), Qt::LeftButton);
        QCOMPARE(sheet->passwordField()->input()->echoMode(), QLineEdit::Password);
        QCOMPARE(sheet->confirmationField()->input()->echoMode(), QLineEdit::Password);
        QCOMPARE(sheet->passwordField()->buffer(), QString(99, QLatin1Char('a')) + QLatin1Char('c'));
        QCOMPARE(view->viewModel()->password1(), sheet->passwordField()->buffer());
        QTRY_COMPARE(view->viewModel()->password2(), QStringLiteral("b"));
    }

    // A paste longer than the limit is cut in both entries, and each says so in its warning line; the
    // password saved is the cut one.
    void longPasteIsCutWithAWarning()
    {
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        PasswordEditSheet* sheet = view->editSheet();
        QVERIFY(sheet);
        QString pasted;
        while (pasted.size() < 10000) {
            pasted += QStringLiteral("Xy7");
        }
        const QString cut = pasted.left(PasswordEditSheet::characterLimit);
        QGuiApplication::clipboard()->setText(pasted);
        for (TextFieldHelper* field : {sheet->passwordField(), sheet->confirmationField()}) {
            QVERIFY(!field->isWarningVisible());
            field->input()->setFocus();
            QTest::keyClick(field->input(), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(field->buffer(), cut);
            QCOMPARE(field->input()->text(), cut);
            QVERIFY(field->isWarningVisible());
            QCOMPARE(field->shownWarning(),
                     std::optional(QStringLiteral("Die Eingabe wurde auf 100 Zeichen gekürzt.")));
            QVERIFY(field->warningLine()->isVisibleTo(sheet));
        }
        QGuiApplication::clipboard()->clear();
        if (qEnvironmentVariableIsSet("TARN_SCREENSHOT_DIR")) {
            sheet->window()->grab().save(qEnvironmentVariable("TARN_SCREENSHOT_DIR") +
                                         QStringLiteral("/password-cut-warning.png"));
        }
        QTest::mouseClick(sheet->middleButton(), Qt::LeftButton);
        QTRY_VERIFY(!view->editSheet());
        QVERIFY(settled(view));
        QCOMPARE(stored(m_archive), cut);
    }

    void tabGoesWithTypingPending_data()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("window closed") << true;
        QTest::newRow("tab deleted, window stays") << false;
    }

    // The sheet's fields are bound to the tab's model, which goes with the tab before the sheet does.
    void tabGoesWithTypingPending()
    {
        QFETCH(bool, closeWindow);
        QPointer<PasswordView> view = makeTab(m_archive);
        // Somewhere for the focus to go when the sheet closes.
        m_fixture.window->layout()->addWidget(new QLineEdit);
        QVERIFY(settled(view));
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        TextFieldHelper* field = view->editSheet()->passwordField();
        field->setDebounceInterval(60'000);
        field->input()->setFocus();
        QTest::keyClicks(field->input(), QStringLiteral("Ungespeichert1"));
        QVERIFY(field->isFocused());
        QPointer<SheetOverlay> sheet = SheetOverlay::enclosing(field);
        QVERIFY(sheet);
        if (closeWindow) {
            m_fixture.window.reset();
        } else {
            delete view;
            QVERIFY(sheet->isDismissed());
        }
        QTRY_VERIFY(!sheet);
        QCOMPARE(stored(m_archive), QStringLiteral("<absent>"));
    }

    // The tab keeps the app password's part after the password was removed and made again, and from
    // then on asks before replacing it, as the archive tab does.
    void appPasswordMadeAgainIsStillTheAppPassword()
    {
        QVERIFY(m_fixture.launchMainWindow());
        PasswordView* view = makeTab(m_app);
        QVERIFY(settled(view));
        enterAndSave(view, QStringLiteral("Erst1234"), QStringLiteral("Erst1234"));
        QVERIFY(settled(view));
        QTRY_COMPARE(m_fixture.lockItems(), 1);
        QTest::mouseClick(view->removeButton(), Qt::LeftButton);
        QVERIFY(clickAlertButton(view->removalConfirmation(), QStringLiteral("Ja")));
        QVERIFY(settled(view));
        QCOMPARE(stored(m_app), QStringLiteral("<absent>"));
        QTRY_COMPARE(m_fixture.lockItems(), 0);

        enterAndSave(view, QStringLiteral("Zweit123"), QStringLiteral("Zweit123"));
        QVERIFY(settled(view));
        QCOMPARE(stored(m_app), QStringLiteral("Zweit123"));
        QTRY_COMPARE(m_fixture.lockItems(), 1);
        QVERIFY(AppPasswordMarker::isSet());

        // Changing it asks first; "Abbrechen" keeps it. The question waits for the store's answer.
        enterAndSave(view, QStringLiteral("Dritt123"), QStringLiteral("Dritt123"));
        QTRY_VERIFY_WITH_TIMEOUT(view->failureAlert(), 20000);
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Warnung"));
        QCOMPARE(stored(m_app), QStringLiteral("Zweit123"));
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("Abbrechen")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        QCOMPARE(stored(m_app), QStringLiteral("Zweit123"));
        // "Speichern" replaces it.
        QVERIFY(settled(view));
        QTest::mouseClick(view->editSheet()->middleButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view->failureAlert(), 20000);
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("Speichern")));
        QTRY_VERIFY(!view->editSheet());
        QVERIFY(settled(view));
        QCOMPARE(stored(m_app), QStringLiteral("Dritt123"));
        QCOMPARE(m_fixture.lockItems(), 1);
    }

    void autoLogoutSettingsReachTheMonitor()
    {
        QVERIFY(store(m_app, QStringLiteral("Geheim42")));
        InactivityMonitor* monitor = m_fixture.delegate->inactivityMonitor();
        PasswordView* view = makeTab(m_app);
        QVERIFY(settled(view));
        PasswordSettingsGroup* group = view->settingsGroup();
        QVERIFY(isShown(group));
        QVERIFY(!group->autoLogoutToggle()->isChecked());
        QVERIFY(!isShown(group->timeoutRow()));
        // At least the designed heights; more where the success band would otherwise cover the buttons.
        QTRY_VERIFY(view->height() >= 260 && !bandCoversButtons(view));
        const int withoutTimeout = view->height();
        // Building the tab changes nothing.
        QVERIFY(!monitor->hasLocalEventMonitor());

        group->autoLogoutToggle()->click();
        QVERIFY(monitor->isAutoLogoutEnabled());
        QVERIFY(monitor->hasLocalEventMonitor());
        QVERIFY(monitor->isTimeoutPending());
        QCOMPARE(QSettings().value(InactivityMonitor::autoLogoutKey), QVariant(true));
        QVERIFY(isShown(group->timeoutRow()));
        QTRY_VERIFY(view->height() >= 300 && view->height() > withoutTimeout && !bandCoversButtons(view));

        // The 17 choices; the monitor's 600 s are "10 Min".
        QStringList labels;
        for (int i = 0; i < group->timeoutPicker()->count(); ++i) {
            labels << group->timeoutPicker()->itemText(i);
        }
        QCOMPARE(labels.join(QLatin1Char(',')),
                 QStringLiteral("2 Min,5 Min,10 Min,15 Min,20 Min,25 Min,30 Min,35 Min,40 Min,45 Min,50 Min,55 Min,"
                                "1 St,2 St,3 St,4 St,5 St"));
        QCOMPARE(group->timeoutPicker()->currentText(), QStringLiteral("10 Min"));

        group->timeoutPicker()->setCurrentIndex(labels.indexOf(QStringLiteral("1 St")));
        QCOMPARE(monitor->timeoutInterval(), 3600.0);
        QCOMPARE(monitor->remainingTime(), 3600.0);
        QCOMPARE(QSettings().value(InactivityMonitor::timeoutKey).toDouble(), 3600.0);

        group->autoLogoutToggle()->click();
        QVERIFY(!monitor->isAutoLogoutEnabled());
        QVERIFY(!monitor->hasLocalEventMonitor());
        QVERIFY(!monitor->isTimeoutPending());
        QVERIFY(!isShown(group->timeoutRow()));
        QTRY_COMPARE(view->height(), withoutTimeout);

        // The tab never became a writer of the preferences: the monitor's writes are kept after it.
        m_fixture.window.reset();
        monitor->setTimeoutInterval(300.0);
        QCOMPARE(QSettings().value(InactivityMonitor::timeoutKey).toDouble(), 300.0);
    }

    void timeoutThatIsNoChoiceIsKept()
    {
        QVERIFY(store(m_app, QStringLiteral("Geheim42")));
        m_fixture.delegate->inactivityMonitor()->setTimeoutInterval(5.0);
        m_fixture.delegate->inactivityMonitor()->setIsAutoLogoutEnabled(true);
        PasswordView* view = makeTab(m_app);
        QVERIFY(settled(view));
        QCOMPARE(view->settingsGroup()->timeoutPicker()->currentIndex(), -1);
        QCOMPARE(m_fixture.delegate->inactivityMonitor()->timeoutInterval(), 5.0);
    }

    void removingArchivePasswordSwitchesLogoutAndTouchIDOff()
    {
        QVERIFY(m_fixture.launchMainWindow());
        // The app password stays, and with it the lock item.
        QVERIFY(store(m_app, QStringLiteral("Geheim42")));
        m_fixture.delegate->showLockButton();
        QTRY_COMPARE(m_fixture.lockItems(), 1);
        QVERIFY(store(m_archive, QStringLiteral("Archiv1")));
        KeychainService().setBool(true, PasswordViewModel::touchIDKey);
        m_fixture.delegate->inactivityMonitor()->setIsAutoLogoutEnabled(true);
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        QTest::mouseClick(view->removeButton(), Qt::LeftButton);
        QVERIFY(clickAlertButton(view->removalConfirmation(), QStringLiteral("Ja")));
        QVERIFY(settled(view));
        QCOMPARE(stored(m_archive), QStringLiteral("<absent>"));
        QVERIFY(!touchIDFlag());
        QVERIFY(!m_fixture.delegate->inactivityMonitor()->isAutoLogoutEnabled());
        QCOMPARE(m_fixture.lockItems(), 1);
    }

    // A removal the store refuses is reported at once, over the tab.
    void removalFailureShowsAtOnce()
    {
        QVERIFY(store(m_archive, QStringLiteral("Archiv1")));
        PasswordView* view = makeTab(m_archive);
        QVERIFY(settled(view));
        QVERIFY(m_fixture.keyring.keyring()->lock());
        QTest::mouseClick(view->removeButton(), Qt::LeftButton);
        QVERIFY(clickAlertButton(view->removalConfirmation(), QStringLiteral("Ja")));
        QTRY_VERIFY(view->failureAlert());
        QVERIFY(!view->editSheet());
        QCOMPARE(view->failureAlert()->host(), view);
        QCOMPARE(title(view->failureAlert()), QStringLiteral("Error"));
        QCOMPARE(message(view->failureAlert()),
                 QStringLiteral("Das Passwort kann nicht gelöscht werden, da es für die Entschlüsselung von Archiven "
                                "benötigt wird."));
        QVERIFY(settled(view));
        QVERIFY(m_fixture.keyring.keyring()->unlock());
        QCOMPARE(stored(m_archive), QStringLiteral("Archiv1"));
        QVERIFY(clickAlertButton(view->failureAlert(), QStringLiteral("OK")));
        QTRY_COMPARE(view->failureAlert(), nullptr);
        // The next opening of the sheet shows no old failure.
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        QVERIFY(view->editSheet());
        QCOMPARE(view->failureAlert(), nullptr);
    }
};

TARN_TEST_GUI_MAIN(TestPasswordView)
#include "TestPasswordView.moc"
