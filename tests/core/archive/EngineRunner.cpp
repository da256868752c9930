// Runs the archive engine in a process of its own, for tests that must restrict, kill or inspect
// that process:
//   tarn-engine-runner [options] restore <backup> <container> <password>
//   tarn-engine-runner [options] restore-loop <backup A> <backup B> <container> <password>
//   tarn-engine-runner [options] scan <source> <backups> <container> <password> <key hex> <material hex>
//   tarn-engine-runner [options] recover <container>   (prints the outcome and the kept folder)
// Options, applied before any thread starts:
//   --no-dac           drop the capabilities that let root ignore file permissions
//   --refuse-exchange  make the kernel refuse RENAME_EXCHANGE, as file systems without it do
//   --markers          print every observed point of the engine on its own line
//   --kill-at <point>  end the process with SIGKILL at the first such point
//   --slow <ms>        wait that long at every step of the swap and of a removal, so that a kill
//                      sent from outside can land between two renames
//   --keep-copy        (scan) keep a copy of the key the way careless code would
// "scan" creates a backup and restores it on this thread, then counts the places in the heap
// that hold the key or the password material; both arrive XOR-masked with 0x5A.
#include "core/archive/ArchiveCipher.h"
#include "core/archive/BackupCreator.h"
#include "core/archive/BackupRestorer.h"
#include "core/archive/EncryptionService.h"
#include "core/archive/FaultPlan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr unsigned char mask = 0x5A;
const char* killPoint = nullptr;
bool markers = false;
int slowMSecs = 0;

void observe(const char* point, const QByteArray&)
{
    if (markers) {
        char line[128];
        const int n = std::snprintf(line, sizeof line, "%s\n", point);
        if (::write(STDOUT_FILENO, line, size_t(n)) < 0)
            std::_Exit(3);
    }
    if (killPoint && std::strcmp(point, killPoint) == 0)
        ::raise(SIGKILL);
    if (slowMSecs > 0 && (std::strncmp(point, "swap:", 5) == 0 || std::strncmp(point, "remove:", 7) == 0))
        ::usleep(useconds_t(slowMSecs) * 1000);
}

bool dropDac()
{
    if (::geteuid() != 0)
        return true;
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
        data[cap / 32].permitted &= ~(1u << (cap % 32));
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

bool refuseExchange()
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        // flags, the fifth argument (low 32 bits)
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[4])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, RENAME_EXCHANGE, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
        ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &program) == 0;
}

bool matchesMasked(const unsigned char* at, const QByteArray& masked)
{
    for (qsizetype i = 0; i < masked.size(); ++i) {
        if ((at[i] ^ mask) != quint8(masked[i]))
            return false;
    }
    return true;
}

// Places in the heap and in anonymous mappings (thread stacks aside) that hold the pattern.
int countInMemory(const QByteArray& masked)
{
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps)
        return -1;
    int hits = 0;
    char line[512];
    unsigned long previousEnd = 0;
    bool previousGuard = false;
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long start = 0;
        unsigned long end = 0;
        char perms[5] = {};
        char path[256] = {};
        if (std::sscanf(line, "%lx-%lx %4s %*s %*s %*s %255s", &start, &end, perms, path) < 3)
            continue;
        // A thread's stack lies right above its guard page.
        const bool stack = previousGuard && previousEnd == start;
        previousGuard = std::strcmp(perms, "---p") == 0;
        previousEnd = end;
        const bool anonymous = path[0] == '\0' || std::strcmp(path, "[heap]") == 0;
        if (std::strcmp(perms, "rw-p") != 0 || !anonymous || stack)
            continue;
        const auto* base = reinterpret_cast<const unsigned char*>(start);
        const size_t size = end - start;
        for (size_t i = 0; i + size_t(masked.size()) <= size; ++i) {
            if ((base[i] ^ mask) == quint8(masked[0]) && matchesMasked(base + i, masked))
                ++hits;
        }
    }
    std::fclose(maps);
    return hits;
}

int scan(const QStringList& args, bool keepCopy, const FaultPlan& faults)
{
    const QString source = args[0];
    const QString backups = args[1];
    const QString container = args[2];
    const QString password = args[3];
    const QByteArray maskedKey = QByteArray::fromHex(args[4].toLatin1());
    const QByteArray maskedMaterial = QByteArray::fromHex(args[5].toLatin1());
    QByteArray kept;
    if (keepCopy)
        kept = ArchiveCipher::deriveKey(password);
    if (!BackupCreator::create(source, backups, password, QString(), faults))
        return 1;
    const QStringList names = QDir(backups).entryList(QDir::Files);
    if (names.size() != 1 ||
        !BackupRestorer::restore(backups + QLatin1Char('/') + names.first(), container, password, {}, faults))
        return 1;
    std::printf("key %d material %d\n", countInMemory(maskedKey), countInMemory(maskedMaterial));
    std::fflush(stdout);
    return 0;
}

int restoreLoop(const QStringList& args, const FaultPlan& faults)
{
    for (int round = 0;; ++round) {
        const QString& backup = args[round % 2];
        const ArchiveResult result =
            EncryptionService::shared().restoreEncryptedArchive(backup, args[2], args[3], {}, faults).result();
        if (!result) {
            std::fprintf(stderr, "restore failed: %s\n", FinderCommentError::name(result.error().code));
            return 1;
        }
        observe(round % 2 ? "restored:B" : "restored:A", QByteArray());
    }
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    bool keepCopy = false;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const char* option = argv[i];
        if (std::strcmp(option, "--no-dac") == 0 && !dropDac())
            return 2;
        if (std::strcmp(option, "--refuse-exchange") == 0 && !refuseExchange())
            return 2;
        if (std::strcmp(option, "--markers") == 0)
            markers = true;
        if (std::strcmp(option, "--keep-copy") == 0)
            keepCopy = true;
        if (std::strcmp(option, "--kill-at") == 0 && i + 1 < argc)
            killPoint = argv[++i];
        if (std::strcmp(option, "--slow") == 0 && i + 1 < argc)
            slowMSecs = std::atoi(argv[++i]);
    }
    if (i >= argc)
        return 2;
    const QByteArray command = argv[i];
    for (++i; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    FaultPlan faults;
    faults.observer = &observe;

    if (command == "scan" && args.size() == 6)
        return scan(args, keepCopy, faults);
    QCoreApplication app(argc, argv);
    if (command == "restore" && args.size() == 3) {
        const ArchiveResult result =
            EncryptionService::shared().restoreEncryptedArchive(args[0], args[1], args[2], {}, faults).result();
        if (!result)
            std::fprintf(stderr, "restore failed: %s\n", FinderCommentError::name(result.error().code));
        return result ? 0 : 1;
    }
    if (command == "restore-loop" && args.size() == 4)
        return restoreLoop(args, faults);
    if (command == "recover" && args.size() == 1) {
        const RecoveryResult result = EncryptionService::recoverInterruptedRestore(args[0], faults).result();
        if (!result) {
            std::fprintf(stderr, "recovery failed: %s\n", FinderCommentError::name(result.error().code));
            return 1;
        }
        std::printf("%d %s\n", int(result->outcome), QFile::encodeName(result->keptFolder).constData());
        return 0;
    }
    return 2;
}
