// A small command-line front end of the archive engine for the benchmark:
//   tarn-archive create <source folder> <destination folder> <password>
//   tarn-archive restore <backup file> <container folder> <password>
#include "core/archive/EncryptionService.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 5 || (args[1] != QLatin1String("create") && args[1] != QLatin1String("restore"))) {
        err << "usage: tarn-archive create <source> <destination> <password>\n"
               "       tarn-archive restore <backup> <container> <password>\n";
        return 2;
    }
    auto& engine = EncryptionService::shared();
    QFuture<ArchiveResult> future = args[1] == QLatin1String("create")
        ? engine.createEncryptedArchive(args[2], args[3], args[4], QString())
        : engine.restoreEncryptedArchive(args[2], args[3], args[4]);
    const ArchiveResult result = future.result();
    if (!result) {
        err << "failed: " << FinderCommentError::name(result.error().code) << "\n";
        return 1;
    }
    return 0;
}
