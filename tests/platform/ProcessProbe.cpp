// Prints the process ids that Workspace::runningApplications() finds for an identifier, one a line,
// for tests that run the look-up under another user or with another /proc.
//   tarn-process-probe <bundle identifier>
// Exits 0 after a look-up, 3 (with the reason on standard error) when the process table could not be
// listed.
#include "platform/processes/Workspace.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarn-process-probe <bundle identifier>\n");
        return 2;
    }
    const auto found = Workspace::runningApplications(QString::fromLocal8Bit(argv[1]));
    if (!found) {
        std::fprintf(stderr, "%s\n", found.error().toLocal8Bit().constData());
        return 3;
    }
    for (const RunningApplication& application : *found)
        std::printf("%lld\n", static_cast<long long>(application.processIdentifier()));
    return 0;
}
