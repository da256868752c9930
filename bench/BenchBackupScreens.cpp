// The GUI thread's longest stall while the screens work: a 10 ms timer on the GUI thread notes how
// late it fires while a backup of the data folder is made and restored through the main screen, and
// while the restore list of many backups is built, when its sheet opens and after a change in the
// folder. Not a test; run by bench/run-gui-benchmark.sh.
//   tarn-bench-screens <list size> [other files in the backup folder]
// HOME must hold Library/Containers/de.orlwen/Data; the archive password comes from the session's keyring.
#include "app/backup/ActionContext.h"
#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/MainAppView.h"
#include "app/backup/RestoreZipView.h"
#include "app/shell/AppDelegate.h"
#include "bench/GuiStall.h"
#include "core/archive/FinderComment.h"
#include "core/workflows/PathViewModel.h"
#include "platform/AppIdentity.h"
#include "platform/updates/Updater.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using GuiStall::runUntil;
using GuiStall::StallMeter;

namespace {

// The same measure on a thread of its own that does nothing else: how late the system alone wakes
// a thread while the work loads it. GUI stalls above this are the GUI thread's own.
class ControlMeter
{
public:
    void start()
    {
        m_worst = 0;
        m_running = true;
        m_thread = std::thread([this] {
            while (m_running) {
                const auto before = std::chrono::steady_clock::now();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                const auto slept =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
                m_worst = std::max<qint64>(m_worst, slept.count() - 10);
            }
        });
    }

    qint64 stop()
    {
        m_running = false;
        m_thread.join();
        return m_worst;
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<qint64> m_worst{0};
};

void settle(int milliseconds)
{
    runUntil([] { return false; }, milliseconds);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    AppIdentity::apply();
    QTextStream out(stdout);
    const int listSize = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    const int otherFiles = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    const QString backups = QDir::homePath() + QStringLiteral("/Backups");
    QDir().mkpath(backups);
    QSettings().setValue(PathViewModel::savedPathKey(), backups);

    AppDelegate delegate;
    delegate.updater()->setAutomaticallyChecksForUpdates(false);
    QWidget window;
    window.resize(900, 500);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new MainAppView(&delegate, &window);
    layout->addWidget(view);
    window.show();
    settle(200);
    ActionContext* context = view->actionContext();
    StallMeter meter;
    ControlMeter control;
    QElapsedTimer clock;

    // Presses the open sheet's action and measures until the work has ended and the sheet is closed.
    const auto measure = [&](BackupActionType type, const QString& name, const QString& success) {
        settle(200);
        meter.start();
        control.start();
        clock.start();
        view->startSelectedAction(type);
        const bool done = runUntil([&] { return !context->isWorking() && !view->backupActionType(); }, 3600 * 1000);
        const double seconds = double(clock.elapsed()) / 1000;
        const qint64 stall = meter.stop();
        const qint64 idle = control.stop();
        if (!done || context->messageText() != success) {
            out << name << " failed: " << context->messageText().value_or(QStringLiteral("-")) << Qt::endl;
            return false;
        }
        out << QStringLiteral("%1 %2 s, longest GUI stall %3 ms (idle thread: %4 ms)\n")
                   .arg(name + QLatin1Char(':'), -8)
                   .arg(seconds, 0, 'f', 1)
                   .arg(stall)
                   .arg(idle);
        return true;
    };

    // A backup through the create sheet, then its restore through the restore sheet.
    view->openSheet(BackupActionType::create);
    if (!measure(BackupActionType::create, QStringLiteral("create"),
                 QStringLiteral("Das Backup wurde erfolgreich erstellt.")))
        return 1;
    view->openSheet(BackupActionType::restore);
    auto* restore = qobject_cast<RestoreZipView*>(view->screen());
    runUntil([&] { return restore->listModel()->rowCount() == 1; }, 10000);
    restore->listView()->setCurrentIndex(restore->listModel()->index(0));
    if (!measure(BackupActionType::restore, QStringLiteral("restore"),
                 QStringLiteral("Das Backup wurde erfolgreich wiederhergestellt.")))
        return 1;

    // The restore list of many backups, a third of them with a comment, among other files.
    QDir(backups).removeRecursively();
    QDir().mkpath(backups);
    const QDateTime first(QDate(2020, 1, 1), QTime(8, 0));
    const auto backupPath = [&](int i) {
        return backups + QStringLiteral("/Backup_") +
            first.addSecs(qint64(i) * 3607).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".orlwen");
    };
    const auto writeBackup = [&](int i) {
        const QString path = backupPath(i);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        file.close();
        if (i % 3 == 0)
            (void)setFinderComment(path, QStringLiteral("Kommentar zum Backup Nummer %1").arg(i));
    };
    for (int i = 0; i < listSize; ++i)
        writeBackup(i);
    for (int i = 0; i < otherFiles; ++i) {
        QFile file(backups + QStringLiteral("/Notiz %1.txt").arg(i, 6, 10, QLatin1Char('0')));
        file.open(QIODevice::WriteOnly);
    }
    const QString among = otherFiles > 0 ? QStringLiteral(" among %1 files").arg(listSize + otherFiles) : QString();
    settle(200);
    meter.start();
    control.start();
    clock.start();
    view->openSheet(BackupActionType::restore);
    const qint64 opened = clock.elapsed();
    restore = qobject_cast<RestoreZipView*>(view->screen());
    runUntil([&] { return restore->listModel()->rowCount() == listSize; }, 60000);
    const qint64 built = clock.elapsed();
    settle(300); // painted, hovered and scrolled once
    restore->listView()->setHoverRow(2);
    restore->listView()->scrollToBottom();
    settle(200);
    qint64 stall = meter.stop();
    out << QStringLiteral("list of %1 backups%2: sheet open after %3 ms, list shown after %4 ms, longest GUI stall "
                          "%5 ms (idle thread: %6 ms)\n")
               .arg(restore->listModel()->rowCount())
               .arg(among)
               .arg(opened)
               .arg(built)
               .arg(stall)
               .arg(control.stop());

    // One more backup while the sheet is open: the folder watcher reports it and the list follows.
    settle(200);
    meter.start();
    control.start();
    clock.start();
    writeBackup(listSize);
    runUntil([&] { return restore->listModel()->rowCount() == listSize + 1; }, 60000);
    const qint64 followed = clock.elapsed();
    settle(300);
    stall = meter.stop();
    out << QStringLiteral("after a folder change: list shown after %1 ms, longest GUI stall %2 ms (idle thread: %3 "
                          "ms)\n")
               .arg(followed)
               .arg(stall)
               .arg(control.stop());
    view->closeSheet();
    return 0;
}
