#include "core/archive/RestoreJournal.h"

#include "core/archive/FaultPlan.h"
#include "core/archive/UniqueFd.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records of version 1 have no mark line.
const QByteArray magic = QByteArrayLiteral("tarn-restore-journal 2");
const QByteArray magicWithoutMark = QByteArrayLiteral("tarn-restore-journal 1");
const QByteArray unfinishedName = QByteArrayLiteral(".RestoreJournal.new");
const QByteArray keptPrefix = QByteArrayLiteral("Data vor der Wiederherstellung ");
constexpr qint64 maxSize = 4096;

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString* error, const QString& text)
{
    *error = text;
    return false;
}

const char* stepName(RestoreJournal::Step step)
{
    switch (step) {
    case RestoreJournal::Step::unpacking:
        return "unpacking";
    case RestoreJournal::Step::swapping:
        return "swapping";
    case RestoreJournal::Step::movedAside:
        return "moved-aside";
    case RestoreJournal::Step::swapped:
        return "swapped";
    case RestoreJournal::Step::keeping:
        return "keeping";
    }
    return "";
}

const char* methodName(RestoreJournal::Method method)
{
    switch (method) {
    case RestoreJournal::Method::none:
        return "none";
    case RestoreJournal::Method::exchange:
        return "exchange";
    case RestoreJournal::Method::twoSteps:
        return "two-steps";
    }
    return "";
}

// Which contents are complete at a step: the old one until it is replaced by a foreign Data,
// the new one once it is unpacked.
QByteArray completeAt(RestoreJournal::Step step, RestoreJournal::Method method)
{
    QList<QByteArray> parts;
    if (method != RestoreJournal::Method::none)
        parts << "old";
    if (step != RestoreJournal::Step::unpacking && step != RestoreJournal::Step::keeping)
        parts << "new";
    return parts.isEmpty() ? QByteArrayLiteral("-") : parts.join(' ');
}

QByteArray nameField(const QByteArray& name)
{
    return name.isEmpty() ? QByteArrayLiteral("-") : name.toPercentEncoding();
}

QByteArray nameFrom(const QByteArray& field)
{
    return field == "-" ? QByteArray() : QByteArray::fromPercentEncoding(field);
}

QByteArray identityField(const RestoreJournal::Identity& id)
{
    return QByteArray::number(quint64(id.device)) + ' ' + QByteArray::number(quint64(id.inode));
}

bool identityFrom(const QByteArray& device, const QByteArray& inode, RestoreJournal::Identity* id)
{
    bool deviceOk = false;
    bool inodeOk = false;
    id->device = dev_t(device.toULongLong(&deviceOk));
    id->inode = ino_t(inode.toULongLong(&inodeOk));
    return deviceOk && inodeOk;
}

QByteArray checkSum(const QByteArray& body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= size_t(n);
    }
    return true;
}

bool isAlphanumeric(const QByteArray& text)
{
    for (const char c : text) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// A name this journal may name: one component, no dot names.
bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

} // namespace

const QByteArray RestoreJournal::fileName = QByteArrayLiteral(".RestoreJournal");
const QByteArray RestoreJournal::workPrefix = QByteArrayLiteral(".TempData.");
const QByteArray RestoreJournal::asidePrefix = QByteArrayLiteral(".OldData.");
const QByteArray RestoreJournal::removalPrefix = QByteArrayLiteral(".RemovingData.");
const QByteArray RestoreJournal::markPrefix = QByteArrayLiteral(".RestoreMark.");

bool RestoreJournal::isUniqueName(const QByteArray& name, const QByteArray& prefix)
{
    return name.size() == prefix.size() + 6 && name.startsWith(prefix) && isAlphanumeric(name.mid(prefix.size()));
}

bool RestoreJournal::isMark(const QByteArray& mark)
{
    return mark.size() == 16 && isAlphanumeric(mark);
}

QByteArray RestoreJournal::markName(const QByteArray& mark)
{
    return markPrefix + mark;
}

bool RestoreJournal::syncFolder(int fd, const char* point, const FaultPlan& faults)
{
    if (!faults.failFolderSyncAt.isEmpty() && faults.failFolderSyncAt == point) {
        errno = EIO;
        return false;
    }
    return ::fsync(fd) == 0;
}

QString RestoreJournal::keptName(qint64 startedMSecs, int attempt)
{
    const QString stamp = QDateTime::fromMSecsSinceEpoch(startedMSecs).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString name = QString::fromLatin1(keptPrefix) + stamp;
    if (attempt > 0)
        name += QStringLiteral(" (%1)").arg(attempt + 1);
    return name;
}

QByteArray RestoreJournal::serialize() const
{
    QByteArray body = magic + '\n';
    body += "step " + QByteArray(stepName(step)) + '\n';
    body += "method " + QByteArray(methodName(method)) + '\n';
    body += "started " + QByteArray::number(startedMSecs) + '\n';
    body += "work " + nameField(work) + ' ' + identityField(workIdentity) + '\n';
    body += "data " + identityField(dataIdentity) + '\n';
    body += "mark " + nameField(mark) + '\n';
    body += "aside " + nameField(aside) + '\n';
    body += "kept-from " + nameField(keptFrom) + '\n';
    body += "kept " + nameField(kept) + '\n';
    body += "complete " + completeAt(step, method) + '\n';
    return body + "sum " + checkSum(body) + '\n';
}

bool RestoreJournal::parse(const QByteArray& text, RestoreJournal* journal)
{
    const qsizetype sumAt = text.lastIndexOf("\nsum ");
    if (sumAt < 0 || !text.endsWith('\n'))
        return false;
    const QByteArray body = text.left(sumAt + 1);
    if (text.mid(sumAt + 5, text.size() - sumAt - 6) != checkSum(body))
        return false;
    QList<QByteArray> lines = body.split('\n');
    lines.removeLast();
    QByteArray markText = QByteArrayLiteral("-");
    if (lines.size() == 11 && lines[0] == magic && lines[6].startsWith("mark "))
        markText = lines.takeAt(6).mid(5);
    else if (lines.size() != 10 || lines[0] != magicWithoutMark)
        return false;
    QList<QList<QByteArray>> fields;
    static const char* const keys[] = {"step",  "method",    "started", "work",    "data",
                                       "aside", "kept-from", "kept",    "complete"};
    for (int i = 0; i < 9; ++i) {
        QList<QByteArray> parts = lines[i + 1].split(' ');
        if (parts.first() != keys[i])
            return false;
        parts.removeFirst();
        fields.append(parts);
    }

    RestoreJournal j;
    const auto stepIs = [&](Step candidate) { return fields[0] == QList<QByteArray>{stepName(candidate)}; };
    bool known = false;
    for (const Step s : {Step::unpacking, Step::swapping, Step::movedAside, Step::swapped, Step::keeping}) {
        if (stepIs(s)) {
            j.step = s;
            known = true;
        }
    }
    if (!known || fields[1].size() != 1)
        return false;
    known = false;
    for (const Method m : {Method::none, Method::exchange, Method::twoSteps}) {
        if (fields[1].first() == methodName(m)) {
            j.method = m;
            known = true;
        }
    }
    bool ok = known && fields[2].size() == 1;
    j.startedMSecs = ok ? fields[2].first().toLongLong(&ok) : 0;
    if (!ok || fields[3].size() != 3 || fields[4].size() != 2 || fields[5].size() != 1 || fields[6].size() != 1 ||
        fields[7].size() != 1)
        return false;
    j.work = nameFrom(fields[3][0]);
    j.aside = nameFrom(fields[5][0]);
    j.keptFrom = nameFrom(fields[6][0]);
    j.kept = nameFrom(fields[7][0]);
    j.mark = nameFrom(markText);
    if (!j.mark.isEmpty() && !isMark(j.mark))
        return false;
    if (!identityFrom(fields[3][1], fields[3][2], &j.workIdentity) ||
        !identityFrom(fields[4][0], fields[4][1], &j.dataIdentity))
        return false;
    if (fields[8].join(' ') != completeAt(j.step, j.method))
        return false;

    // Every name must be one this engine gives: a record never points at Data or elsewhere.
    if (!isUniqueName(j.work, workPrefix))
        return false;
    if (j.method == Method::twoSteps ? !isUniqueName(j.aside, asidePrefix) : !j.aside.isEmpty())
        return false;
    if (j.step == Step::movedAside && j.method != Method::twoSteps)
        return false;
    if (j.step == Step::keeping) {
        if ((j.keptFrom != j.work && (j.aside.isEmpty() || j.keptFrom != j.aside)) || !isPlainName(j.kept) ||
            !j.kept.startsWith(keptPrefix))
            return false;
    } else if (!j.keptFrom.isEmpty() || !j.kept.isEmpty()) {
        return false;
    }
    *journal = j;
    return true;
}

RestoreJournal::Read RestoreJournal::read(int dirFd, RestoreJournal* journal, QString* error)
{
    UniqueFd fd(::openat(dirFd, fileName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isValid()) {
        if (errno == ENOENT)
            return Read::none;
        *error = QString::fromLatin1(fileName) + QStringLiteral(": ") + errnoText();
        // Not a file we could have written (a folder, a link): nothing to act upon.
        return errno == ELOOP || errno == ENXIO || errno == EISDIR ? Read::damaged : Read::failed;
    }
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0) {
        *error = errnoText();
        return Read::failed;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > maxSize) {
        *error = QString::fromLatin1(fileName) + QStringLiteral(": not a journal");
        return Read::damaged;
    }
    QByteArray text(qsizetype(st.st_size), '\0');
    qsizetype got = 0;
    while (got < text.size()) {
        const ssize_t n = ::pread(fd.get(), text.data() + got, size_t(text.size() - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = errnoText();
            return Read::failed;
        }
        if (n == 0)
            break;
        got += n;
    }
    text.truncate(got);
    if (!parse(text, journal)) {
        *error = QString::fromLatin1(fileName) + QStringLiteral(": damaged");
        return Read::damaged;
    }
    return Read::ok;
}

bool RestoreJournal::write(int dirFd, const FaultPlan& faults, QString* error) const
{
    const QByteArray text = serialize();
    UniqueFd fd(
        ::openat(dirFd, unfinishedName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.isValid())
        return fail(error, QStringLiteral("journal: ") + errnoText());
    if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
        const int writeError = errno;
        fd.reset();
        ::unlinkat(dirFd, unfinishedName.constData(), 0);
        return fail(error, QStringLiteral("journal: ") + errnoText(writeError));
    }
    if (!fd.close() || ::renameat(dirFd, unfinishedName.constData(), dirFd, fileName.constData()) != 0) {
        const int renameError = errno;
        ::unlinkat(dirFd, unfinishedName.constData(), 0);
        return fail(error, QStringLiteral("journal: ") + errnoText(renameError));
    }
    if (!syncFolder(dirFd, "journal", faults))
        return fail(error, QStringLiteral("journal: ") + errnoText());
    return true;
}

bool RestoreJournal::remove(int dirFd, const FaultPlan& faults, QString* error)
{
    // Where a folder's sync does not reach the disk (a FUSE mount forwards a file's sync, not a
    // folder's), syncing the record itself does, with every change made before it: the mark's removal
    // is on the disk before the record goes.
    const UniqueFd record(::openat(dirFd, fileName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (record.isValid() && ::fsync(record.get()) != 0 && errno != EINVAL)
        return fail(error, QStringLiteral("journal: ") + errnoText());
    if (::unlinkat(dirFd, fileName.constData(), 0) != 0 && errno != ENOENT)
        return fail(error, QStringLiteral("journal: ") + errnoText());
    if (!syncFolder(dirFd, "journal-removed", faults))
        return fail(error, QStringLiteral("journal: ") + errnoText());
    return true;
}

void RestoreJournal::removeUnfinished(int dirFd)
{
    ::unlinkat(dirFd, unfinishedName.constData(), 0);
}
