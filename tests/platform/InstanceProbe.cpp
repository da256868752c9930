// A single-instance server in a process of its own, with the usual limit of 1,024 open files.
// Usage: tarn-instance-probe <socket path>. Prints "primary" (or the role it got), then "activated" for
// each request. Commands on standard input, one a line: "exhaust" opens files until none is left
// ("exhausted"), "free" closes them again ("freed"), "status" answers "listening" or "closed". It
// ends when standard input closes.
#include "platform/instance/SingleInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QSocketNotifier>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const rlimit limit{1024, 1024};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 3;
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    SingleInstance instance(QFile::decodeName(argv[1]));
    // Clients that connect and say nothing stay until they go themselves.
    instance.setClientTimeout(600000);
    const SingleInstance::Role role = instance.claim();
    say(role == SingleInstance::Role::primary ? "primary" : "not primary");
    QObject::connect(&instance, &SingleInstance::activationRequested, [] { say("activated"); });

    QList<int> hoard;
    QByteArray input;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        input.append(buffer, n);
        qsizetype end = 0;
        while ((end = input.indexOf('\n')) >= 0) {
            const QByteArray command = input.left(end);
            input.remove(0, end + 1);
            if (command == "exhaust") {
                int fd = -1;
                while ((fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0)
                    hoard << fd;
                say("exhausted");
            } else if (command == "free") {
                for (const int fd : std::as_const(hoard))
                    ::close(fd);
                hoard.clear();
                say("freed");
            } else if (command == "status") {
                say(instance.isListening() && QFile::exists(instance.socketPath()) ? "listening" : "closed");
            }
        }
    });
    return QCoreApplication::exec();
}
