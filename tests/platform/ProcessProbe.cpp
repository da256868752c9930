// Prints the process ids that Workspace::runningApplications() finds for an identifier, one a line,
// for tests that run the look-up under another user or with another /proc.
//   tarn-process-probe <bundle identifier> [<process table> <timeout in ms>]
// Exits 0 after a look-up, 3 (with the reason on standard error) when the process table could not be
// listed. With a table and a timeout the bounded look-up reads that table instead of /proc; it exits 4,
// naming the process on standard output, when the look-up did not end in time.
#include "platform/processes/Workspace.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: tarn-process-probe <bundle identifier> [<process table> <timeout in ms>]\n");
        return 2;
    }
    const QString identifier = QString::fromLocal8Bit(argv[1]);
    if (argc == 4) {
        Workspace::setProcessTableForTesting(QString::fromLocal8Bit(argv[2]));
        const auto found = Workspace::runningApplications(identifier, std::chrono::milliseconds(std::atoi(argv[3])));
        if (!found) {
            std::printf("%s\n", found.error().process.toLocal8Bit().constData());
            return found.error().timedOut ? 4 : 3;
        }
        for (const RunningApplication& application : *found)
            std::printf("%lld\n", static_cast<long long>(application.processIdentifier()));
        return 0;
    }
    const auto found = Workspace::runningApplications(identifier);
    if (!found) {
        std::fprintf(stderr, "%s\n", found.error().toLocal8Bit().constData());
        return 3;
    }
    for (const RunningApplication& application : *found)
        std::printf("%lld\n", static_cast<long long>(application.processIdentifier()));
    return 0;
}
