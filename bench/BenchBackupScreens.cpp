// The GUI thread's longest stall while the screens work: a 10 ms timer on the GUI thread notes how
// late it fires while a backup of the data folder is made and restored through the main screen, and
// while the restore list of many backups is built. Not a test; run by bench/run-gui-benchmark.sh.
//   tarn-bench-screens <list size>
// HOME must hold Library/Containers/de.orlwen/Data; the archive password comes from the session's keyring.
#include "app/backup/ActionContext.h"
#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/MainAppView.h"
#include "app/backup/RestoreZipView.h"
#include "app/shell/AppDelegate.h"
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

namespace {

// Notes the largest delay between two ticks of a 10 ms timer, beyond the 10 ms.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { m_worst = qMax(m_worst, m_clock.restart() - 10); });
    }

    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_timer.start();
    }

    qint64 stop()
    {
        m_timer.stop();
        return m_worst;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worst = 0;
};

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

// Runs the event loop until the condition holds (checked every 5 ms) or the time is up.
bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

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

    // The restore list of many backups, a third of them with a comment.
    QDir(backups).removeRecursively();
    QDir().mkpath(backups);
    const QDateTime first(QDate(2020, 1, 1), QTime(8, 0));
    for (int i = 0; i < listSize; ++i) {
        const QString path = backups + QStringLiteral("/Backup_") +
            first.addSecs(qint64(i) * 3607).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".orlwen");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        file.close();
        if (i % 3 == 0)
            (void)setFinderComment(path, QStringLiteral("Kommentar zum Backup Nummer %1").arg(i));
    }
    settle(200);
    meter.start();
    control.start();
    clock.start();
    view->openSheet(BackupActionType::restore);
    restore = qobject_cast<RestoreZipView*>(view->screen());
    runUntil([&] { return restore->listModel()->rowCount() == listSize; }, 60000);
    const qint64 built = clock.elapsed();
    settle(300); // painted, hovered and scrolled once
    restore->listView()->setHoverRow(2);
    restore->listView()->scrollToBottom();
    settle(200);
    const qint64 stall = meter.stop();
    out << QStringLiteral("list of %1 backups: shown after %2 ms, longest GUI stall %3 ms (idle thread: %4 ms)\n")
               .arg(restore->listModel()->rowCount())
               .arg(built)
               .arg(stall)
               .arg(control.stop());
    view->closeSheet();
    return 0;
}
