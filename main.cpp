#include "app/shell/AppDelegate.h"
#include "app/shell/GermanTranslations.h"
#include "app/shell/TarnBackupManagerApp.h"
#include "kit/theme/FontFaces.h"
#include "platform/AppIdentity.h"
#include "platform/FileSystemLanes.h"
#include "platform/instance/SingleInstance.h"
#include "platform/instance/TerminationSignals.h"

#include <QApplication>
#include <QIcon>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

#include <sys/prctl.h>

namespace {

int run(int argc, char** argv)
{
    QApplication application(argc, argv);
    AppIdentity::apply();
    QGuiApplication::setDesktopFileName(QStringLiteral("tarn-backup-manager"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tarn-backup-manager.svg")));
    installGermanQtTranslations();
    FontFaces::installApplicationFont();

    // A second launch brings the running instance's window to the front and ends.
    SingleInstance instance;
    if (instance.claim() == SingleInstance::Role::secondary) {
        return 0;
    }
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &application,
                     &QCoreApplication::quit);

    int status = 0;
    {
        TarnBackupManagerApp app;
        QObject::connect(&application, &QCoreApplication::aboutToQuit, app.appDelegate(),
                         &AppDelegate::applicationWillTerminate);
        QObject::connect(&instance, &SingleInstance::activationRequested, app.appDelegate(),
                         &AppDelegate::applicationShouldHandleReopen);
        app.appDelegate()->applicationDidFinishLaunching();
        status = QApplication::exec();
    }
    // A backup, restore or erase still running finishes before the process ends.
    QThreadPool::globalInstance()->waitForDone();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // No core dump and no ptrace by other processes of the user: the memory holds passwords.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);

    const int status = run(argc, argv);
    // Everything that keeps state has ended: the window, the settings, the keyring calls, the engine.
    // What may be left is work on a backup folder whose file system stopped answering (a check, a
    // listing, a comment or a removal caught in the kernel); waiting for it (static destructors
    // included) could take forever.
    if (FileSystemLanes::isBusy()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
