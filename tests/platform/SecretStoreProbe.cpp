// One call of the secret store in a process of its own, so that each test case meets the store
// of its own environment (the session bus is chosen once per process):
//   tarn-secret-store-probe <lookup|store|clear> <deadline ms>
// Prints the outcome's code name on the first line and its text for the user on the second.
#include "platform/secrets/SecretStore.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        return 2;
    }
    SecretStore::setCallDeadline(std::chrono::milliseconds(std::atoi(argv[2])));
    const SecretStore::Attributes item{{SecretStore::serviceAttribute, QStringLiteral("test.Probe")},
                                       {SecretStore::accountAttribute, QStringLiteral("key")}};
    std::optional<SecretStoreError> error;
    if (std::strcmp(argv[1], "lookup") == 0) {
        const auto found = SecretStore::lookup(item);
        if (!found) {
            error = found.error();
        }
    } else {
        const auto changed = std::strcmp(argv[1], "store") == 0
            ? SecretStore::store(item, QStringLiteral("label"), QStringLiteral("Geheim1"))
            : SecretStore::clear(item);
        if (!changed) {
            error = changed.error();
        }
    }
    if (!error) {
        std::printf("success\n\n");
    } else {
        std::printf("%s\n%s\n", SecretStoreError::name(error->code), error->message().toUtf8().constData());
    }
    std::fflush(stdout);
    // Calls given up on may still hang in their threads; they end with the process.
    std::_Exit(0);
}
