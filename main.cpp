#include "app/shell/AppDelegate.h"
#include "app/shell/TarnBackupManagerApp.h"
#include "platform/AppIdentity.h"

#include <QApplication>
#include <QThreadPool>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    AppIdentity::apply();

    int status = 0;
    {
        TarnBackupManagerApp app;
        QObject::connect(&application, &QCoreApplication::aboutToQuit, app.appDelegate(),
                         &AppDelegate::applicationWillTerminate);
        app.appDelegate()->applicationDidFinishLaunching();
        status = QApplication::exec();
    }
    // A backup, restore or erase still running finishes before the process ends.
    QThreadPool::globalInstance()->waitForDone();
    return status;
}
