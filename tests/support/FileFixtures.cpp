#include "tests/support/FileFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

#include <dirent.h>
#include <unistd.h>

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

QMap<QString, QString> treeSnapshot(const QString& root)
{
    QMap<QString, QString> items;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString key = QDir(root).relativeFilePath(path);
        if (info.isSymLink()) {
            QByteArray target(4096, '\0');
            const ssize_t n = ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
            items[key] = QStringLiteral("l:") + QString::fromUtf8(target.left(int(std::max<ssize_t>(n, 0))));
        } else if (info.isDir()) {
            items[key] = QStringLiteral("d");
        } else {
            QFile file(path);
            items[key] = file.open(QIODevice::ReadOnly) ? QStringLiteral("f:") +
                    QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
                                                        : QStringLiteral("unreadable");
        }
    }
    return items;
}

int openDescriptorCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                ++count;
        }
        ::closedir(dir);
    }
    return count - 1; // the listing's own descriptor
}
