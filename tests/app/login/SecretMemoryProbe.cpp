// The application's password paths in a process of their own, whose memory the test then reads
// through /proc. Commands on stdin, one a line; each answers "done" (or "failed <why>") on stdout:
//   backup                        a backup through the create sheet, with the stored archive password
//   restore                       the same, then that backup restored through the restore sheet
//   settings <app|archive> <paste|type|typefix|pastelong> <save|close> <masked hex>
//                                 the password entered twice in its settings tab (pastelong: pasted
//                                 with 9,900 more characters after it) and saved, or the window
//                                 closed with the sheet still open
//   login <type|typefix> <masked hex>
//                                 the app password typed at the login (typefix: with a wrong last key
//                                 taken back); the app then locks
//   quit
// Passwords come XOR-masked (MemoryScan::mask) and are unmasked one character at a time, so that
// the probe itself keeps no copy of them; a paste needs the whole text on the clipboard, and the
// probe overwrites that copy once the paste is done.
//
// Small blocks are never given back to the allocator, so that a freed copy of a password keeps its
// bytes and is found, however soon the allocator would have handed the block out again.
#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/RestoreZipView.h"
#include "app/login/PasswordEntryView.h"
#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordView.h"
#include "app/settings/SettingsContent.h"
#include "app/shell/WindowContent.h"
#include "core/credentials/PasswordViewModel.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/inputs/SecureInputView.h"
#include "kit/inputs/TextFieldHelper.h"
#include "platform/AppIdentity.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/MemoryScan.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>

#include <malloc.h>

extern "C" void __libc_free(void* block);

// Replaces the C library's free() for the whole process (Qt's and the keyring library's blocks too).
extern "C" void free(void* block)
{
    // Large blocks (file contents, images) go back; password copies are far smaller.
    if (block && malloc_usable_size(block) >= 64 * 1024) {
        __libc_free(block);
    }
}

namespace {

void answer(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QTextStream& input()
{
    static QTextStream stream(stdin);
    return stream;
}

// Stops until the test has looked at the memory.
void checkpoint(const QByteArray& name)
{
    answer("checkpoint " + name);
    QString line;
    input().readLineInto(&line);
}

// Lets deleted widgets, finished futures and their watchers go.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(50);
    }
}

// Types the text at a typist's pace (the event loop runs between the keys); with `correction`, a
// wrong last key is typed and taken back first.
void typeMasked(QWidget* widget, const QByteArray& masked, bool correction = false)
{
    for (const char byte : masked) {
        QTest::keyClick(widget, char(static_cast<unsigned char>(byte) ^ MemoryScan::mask));
        QCoreApplication::processEvents();
    }
    if (correction) {
        QTest::keyClick(widget, '#');
        QTest::qWait(20);
        QTest::keyClick(widget, Qt::Key_Backspace);
        QTest::qWait(20);
    }
}

// Pastes the text (and `filler` characters after it) with Ctrl+V, then overwrites and drops the
// clipboard's copy.
void pasteMasked(QWidget* widget, const QByteArray& masked, int filler = 0)
{
    QString text;
    text.reserve(masked.size() + filler);
    for (const char byte : masked) {
        text += QLatin1Char(char(static_cast<unsigned char>(byte) ^ MemoryScan::mask));
    }
    text += QString(filler, QLatin1Char('x'));
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
    QGuiApplication::clipboard()->clear();
    SecretBytes::wipeText(text);
}

QByteArray backup()
{
    if (!BackupScreens::freshFolders()) {
        return "failed folders";
    }
    BackupScreens::MainScreen main;
    main.view->openSheet(BackupActionType::create);
    if (!main.screen<CreateZipView>()) {
        return "failed sheet";
    }
    main.pressAction();
    if (!QTest::qWaitFor([&main] { return !main.context()->isWorking(); }, 30000)) {
        return "failed timeout";
    }
    if (main.context()->messageText() != std::optional(CreateZipView::successText())) {
        return "failed " + main.context()->messageText().value_or(QString()).toUtf8();
    }
    return "done";
}

QByteArray restore()
{
    const QByteArray made = backup();
    if (made != "done") {
        return made;
    }
    BackupScreens::MainScreen main;
    main.view->openSheet(BackupActionType::restore);
    auto* screen = main.screen<RestoreZipView>();
    if (!screen || !QTest::qWaitFor([screen] { return screen->listModel()->rowCount() == 1; })) {
        return "failed list";
    }
    BackupListView* list = screen->listView();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    QSignalSpy started(screen, &RestoreZipView::restoreStarted);
    main.pressAction();
    if (!QTest::qWaitFor([&] { return started.count() == 1 && !main.context()->isWorking(); }, 30000)) {
        return "failed timeout";
    }
    if (main.context()->messageText() != std::optional(RestoreZipView::successText())) {
        return "failed " + screen->model()->warningText().toUtf8();
    }
    settle();
    return "done";
}

QByteArray settings(bool appPassword, const QString& entry, bool save, const QByteArray& masked)
{
    {
        AppDelegate delegate;
        delegate.setIsAuthenticated(true);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        const PasswordModel model =
            appPassword ? SettingsContent::masterPasswordModel() : SettingsContent::zipPasswordModel();
        auto* view = new PasswordView(&delegate, model, &window);
        layout->addWidget(view);
        window.resize(460, 420);
        window.show();
        if (!SettingsTest::settled(view)) {
            return "failed load";
        }
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        PasswordEditSheet* sheet = view->editSheet();
        if (!sheet) {
            return "failed sheet";
        }
        for (TextFieldHelper* field : {sheet->passwordField(), sheet->confirmationField()}) {
            field->input()->setFocus();
            if (entry == QLatin1String("pastelong")) {
                pasteMasked(field->input(), masked, 9900);
            } else if (entry == QLatin1String("paste")) {
                pasteMasked(field->input(), masked);
            } else {
                typeMasked(field->input(), masked, entry == QLatin1String("typefix"));
            }
        }
        if (save) {
            QTest::mouseClick(sheet->middleButton(), Qt::LeftButton);
        } else {
            // The settings window goes with the sheet open and the entries unsaved.
            window.close();
        }
        if (save && QTest::qWaitFor([view] { return view->failureAlert() != nullptr; }, 3000)) {
            if (!SettingsTest::clickAlertButton(view->failureAlert(), QStringLiteral("Speichern"))) {
                return "failed alert";
            }
        }
        if (save) {
            if (!QTest::qWaitFor([view] { return !view->editSheet(); }, 20000) || !SettingsTest::settled(view)) {
                return "failed save";
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            checkpoint("saved");
        }
        settle();
    }
    settle();
    return "done";
}

QByteArray login(const QByteArray& masked, bool correction)
{
    {
        const std::unique_ptr<AppDelegate> delegate = ShellTestSupport::launch();
        if (!delegate || delegate->isAuthenticated()) {
            return "failed launch";
        }
        PasswordEntryView* view = delegate->windowContent()->passwordEntryView();
        if (!QTest::qWaitFor([view] { return view->storedPassword() == PasswordEntryView::StoredPassword::present; },
                             20000)) {
            return "failed read";
        }
        SecureInputView* field = view->passwordField();
        field->setFocus();
        typeMasked(field, masked, correction);
        QTest::keyClick(field, Qt::Key_Return);
        if (!QTest::qWaitFor([&delegate] { return delegate->isAuthenticated(); }, 20000)) {
            return "failed unlock";
        }
        checkpoint("unlocked");
        settle();
        // The lock button.
        delegate->setIsAuthenticated(false);
        if (!QTest::qWaitFor([&delegate] { return delegate->windowContent()->passwordEntryView() != nullptr; })) {
            return "failed lock";
        }
        settle();
    }
    settle();
    return "done";
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    AppIdentity::apply();
    ShellTestSupport::shortenTimings();
    QApplication::setQuitOnLastWindowClosed(false);

    QString line;
    while (input().readLineInto(&line)) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty()) {
            continue;
        }
        const QString command = words.first();
        if (command == QLatin1String("quit")) {
            break;
        }
        if (command == QLatin1String("backup")) {
            answer(backup());
        } else if (command == QLatin1String("restore")) {
            answer(restore());
        } else if (command == QLatin1String("settings") && words.size() == 5) {
            answer(settings(words.at(1) == QLatin1String("app"), words.at(2), words.at(3) == QLatin1String("save"),
                            QByteArray::fromHex(words.at(4).toLatin1())));
        } else if (command == QLatin1String("login") && words.size() == 3) {
            answer(login(QByteArray::fromHex(words.at(2).toLatin1()), words.at(1) == QLatin1String("typefix")));
        } else {
            answer("failed command");
        }
    }
    return 0;
}
