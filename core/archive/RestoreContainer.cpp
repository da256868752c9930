#include "core/archive/RestoreContainer.h"

#include "core/archive/FaultPlan.h"
#include "core/archive/FileTree.h"
#include "platform/Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>

namespace {

// The working folder of earlier versions, which always held an unfinished restore.
const QByteArray plainWorkingName = QByteArrayLiteral(".TempData");

// Built when called: as a static it could be made before the journal's name it is built from.
QByteArray damagedJournalPrefix()
{
    return RestoreJournal::fileName + '.';
}

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString* error, const QString& text)
{
    *error = text;
    return false;
}

// The kernel or the file system does not know the rename flag.
bool flagUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EXDEV;
}

void log(const QString& text)
{
    qCDebug(lcDiagnostics).noquote() << text;
}

} // namespace

const QByteArray RestoreContainer::dataName = QByteArrayLiteral("Data");

RestoreContainer::RestoreContainer(const QString& path, const FaultPlan& faults)
    : m_path(path)
    , m_faults(faults)
{
}

RestoreContainer::Open RestoreContainer::open(bool create, QString* error)
{
    if (create && !QDir().mkpath(m_path)) {
        *error = m_path + QStringLiteral(": cannot create the folder");
        return Open::failed;
    }
    m_fd.reset(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_fd.isValid()) {
        *error = m_path + QStringLiteral(": ") + errnoText();
        return errno == ENOENT && !create ? Open::missing : Open::failed;
    }
    // The lock belongs to this open folder and ends when it is closed, also when the process dies.
    int status = 0;
    do {
        status = ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
    } while (status != 0 && errno == EINTR);
    if (status == 0)
        return Open::locked;
    if (errno == EWOULDBLOCK) {
        *error = m_path + QStringLiteral(": another restore is running");
        return Open::busy;
    }
    log(QStringLiteral("Блокировка контейнера невозможна: ") + errnoText());
    return Open::unlocked;
}

QByteArray RestoreContainer::uniqueName(const QByteArray& prefix, int length) const
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = prefix;
    for (int i = 0; i < length; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return name;
}

QByteArray RestoreContainer::freeUniqueName(const QByteArray& prefix) const
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = uniqueName(prefix);
        struct stat st = {};
        if (::fstatat(m_fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return name;
    }
    return {};
}

bool RestoreContainer::renameNoReplace(const QByteArray& from, const QByteArray& to) const
{
    // Without the kernel's flag the name is checked first: we hold the lock, so only a foreign
    // process could make `to` meanwhile.
    return renameNoReplaceAt(m_fd.get(), from, to);
}

RestoreContainer::Item RestoreContainer::probe(const QByteArray& name) const
{
    Item item;
    struct stat st = {};
    if (name.isEmpty() || ::fstatat(m_fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return item;
    item.exists = true;
    item.identity = {st.st_dev, st.st_ino};
    return item;
}

bool RestoreContainer::holdsMark(const QByteArray& name, const QByteArray& mark) const
{
    if (mark.isEmpty() || name.isEmpty())
        return false;
    const UniqueFd folder(::openat(m_fd.get(), name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st = {};
    return folder.isValid() &&
        ::fstatat(folder.get(), RestoreJournal::markName(mark).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode);
}

bool RestoreContainer::removeMark(const QByteArray& mark, QString* error)
{
    if (mark.isEmpty())
        return true;
    const UniqueFd data(::openat(m_fd.get(), dataName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!data.isValid())
        return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ||
            fail(error, m_path + QStringLiteral(": Data: ") + errnoText());
    const QByteArray name = RestoreJournal::markName(mark);
    int status = ::unlinkat(data.get(), name.constData(), 0);
    struct stat st = {};
    if (status != 0 && errno == EACCES && ::fstat(data.get(), &st) == 0) {
        // Data took the old Data's mode, which may lack the owner's write permission.
        if (::fchmod(data.get(), (st.st_mode & 07777) | S_IWUSR | S_IXUSR) == 0) {
            status = ::unlinkat(data.get(), name.constData(), 0);
            const int unlinkError = errno;
            ::fchmod(data.get(), st.st_mode & 07777);
            errno = unlinkError;
        }
    }
    if (status != 0 && errno != ENOENT)
        return fail(error, m_path + QStringLiteral(": cannot remove the mark: ") + errnoText());
    if (!RestoreJournal::syncFolder(data.get(), "mark", m_faults))
        return fail(error, m_path + QStringLiteral(": Data: ") + errnoText());
    return true;
}

RestoreContainer::Removal RestoreContainer::removeOurs(const QByteArray& name, int* error)
{
    int local = 0;
    int& err = error ? *error : local;
    const QByteArray removal = freeUniqueName(RestoreJournal::removalPrefix);
    if (removal.isEmpty() || !renameNoReplace(name, removal)) {
        err = removal.isEmpty() ? EEXIST : errno;
        log(QStringLiteral("Ошибка удаления: ") + QFile::decodeName(name) + QStringLiteral(": ") + errnoText(err));
        return Removal::kept;
    }
    // The new name must be on disk before the first file goes: a partly removed tree must never
    // come back under a name that stands for a whole content.
    if (!RestoreJournal::syncFolder(m_fd.get(), "removal", m_faults)) {
        err = errno;
        log(QStringLiteral("Ошибка удаления: ") + QFile::decodeName(name) + QStringLiteral(": ") + errnoText(err));
        return Removal::kept;
    }
    m_faults.notify("remove:renamed", removal);
    if (!removeTreeAt(m_fd.get(), removal, &err)) {
        log(QStringLiteral("Ошибка удаления: ") + QFile::decodeName(removal) + QStringLiteral(": ") + errnoText(err));
        return Removal::leftOver;
    }
    return Removal::removed;
}

bool RestoreContainer::writeJournal(QString* error)
{
    if (!m_journal.write(m_fd.get(), m_faults, error))
        return false;
    m_journalled = true;
    return true;
}

// Back to the state before the swap: the working folder is no longer needed.
void RestoreContainer::revertJournal()
{
    m_journal.step = RestoreJournal::Step::unpacking;
    m_journal.method = RestoreJournal::Method::none;
    m_journal.aside.clear();
    QString error;
    if (!writeJournal(&error))
        log(QStringLiteral("Ошибка записи журнала: ") + error);
}

RestoreContainer::Plan RestoreContainer::planFor(const RestoreJournal& journal) const
{
    using Step = RestoreJournal::Step;
    using Method = RestoreJournal::Method;
    const Item data = probe(dataName);
    const Item work = probe(journal.work);
    const Item aside = probe(journal.aside);
    // Records of older versions have no mark: there a Data is never proven to be the new content,
    // and an old content beside it is kept rather than removed.
    const bool dataIsNew = holdsMark(dataName, journal.mark);
    Plan plan;
    if (journal.step == Step::unpacking) {
        plan.data = data.exists ? DataIs::old : DataIs::missing;
        if (work.exists)
            plan.newAt = journal.work;
        return plan;
    }
    switch (journal.method) {
    case Method::none:
        // Data did not exist; the working folder becomes Data in one rename.
        if (work.exists) {
            plan.newAt = journal.work;
            plan.data = data.exists ? DataIs::foreign : DataIs::missing;
        } else {
            plan.data = data.exists ? DataIs::fresh : DataIs::missing;
        }
        break;
    case Method::twoSteps:
        // The names tell how far it got: Data to the aside name first, then the work to Data.
        if (aside.exists) {
            plan.oldAt = journal.aside;
            if (work.exists)
                plan.newAt = journal.work;
            plan.data = !data.exists ? DataIs::missing : !work.exists && dataIsNew ? DataIs::fresh : DataIs::foreign;
        } else if (work.exists) {
            plan.newAt = journal.work;
            plan.data = data.exists ? DataIs::old : DataIs::missing;
        } else {
            plan.data = data.exists ? DataIs::fresh : DataIs::missing;
        }
        break;
    case Method::exchange: {
        // One exchange leaves the same names: the mark tells which folder holds the new content.
        // The identities only help where it cannot: the old content's, and the new content's in
        // records without a mark.
        enum class Is { missing, fresh, old, other };
        const bool marked = !journal.mark.isEmpty();
        const auto classify = [&](const Item& item, const QByteArray& name) {
            if (!item.exists)
                return Is::missing;
            if (marked ? holdsMark(name, journal.mark) : item.identity == journal.workIdentity)
                return Is::fresh;
            if (item.identity == journal.dataIdentity)
                return Is::old;
            return Is::other;
        };
        const Is inData = classify(data, dataName);
        const Is inWork = classify(work, journal.work);
        if (inData == Is::fresh) {
            // Without a mark the new content's inode number may have gone to a Data made anew.
            plan.data = marked || !work.exists ? DataIs::fresh : DataIs::foreign;
            if (work.exists)
                plan.oldAt = journal.work;
        } else if (inWork == Is::fresh) {
            plan.data = data.exists ? DataIs::old : DataIs::missing;
            plan.newAt = journal.work;
        } else if (inData == Is::old && !work.exists) {
            plan.data = DataIs::old;
        } else if (work.exists) {
            // The working folder holds the old content, or what nobody can tell: Data made anew
            // keeps it beside it, a missing Data gets it back only when it is surely the old one.
            plan.oldAt = journal.work;
            if (data.exists)
                plan.data = DataIs::foreign;
            else
                plan.data = inWork == Is::old || journal.step == Step::swapped ? DataIs::missing : DataIs::unknown;
        } else {
            plan.data = !data.exists ? DataIs::missing : journal.step == Step::swapped ? DataIs::fresh : DataIs::old;
        }
        break;
    }
    }
    return plan;
}

bool RestoreContainer::keepAside(RestoreJournal& journal, const QByteArray& from, RestoreRecovery* report,
                                 QString* error)
{
    QByteArray kept;
    for (int attempt = 0; attempt < 100 && kept.isEmpty(); ++attempt) {
        const QByteArray name = QFile::encodeName(RestoreJournal::keptName(journal.startedMSecs, attempt));
        if (!probe(name).exists)
            kept = name;
    }
    if (kept.isEmpty())
        return fail(error, m_path + QStringLiteral(": no free name to keep the old content"));
    journal.step = RestoreJournal::Step::keeping;
    journal.keptFrom = from;
    journal.kept = kept;
    if (!journal.write(m_fd.get(), m_faults, error))
        return false;
    if (!renameNoReplace(from, kept))
        return fail(error, m_path + QStringLiteral(": cannot keep the old content: ") + errnoText());
    // Until the new name is on disk the journal must say where the old content went.
    if (!RestoreJournal::syncFolder(m_fd.get(), "keep", m_faults))
        return fail(error, m_path + QStringLiteral(": cannot keep the old content: ") + errnoText());
    report->outcome = RestoreRecovery::Outcome::keptAside;
    report->keptFolder = QDir(m_path).absoluteFilePath(QFile::decodeName(kept));
    log(QStringLiteral("Данные сохранены в отдельной папке: ") + report->keptFolder);
    return true;
}

bool RestoreContainer::resolve(RestoreJournal journal, RestoreRecovery* report, QString* error)
{
    using Outcome = RestoreRecovery::Outcome;
    // The journal goes only once nothing it names is left to do: an item that cannot be renamed
    // for removal keeps it, and the next recovery tries again.
    const auto removeNamed = [&](const QByteArray& name) {
        int removeError = 0;
        if (removeOurs(name, &removeError) != Removal::kept)
            return true;
        return fail(error,
                    m_path + QStringLiteral(": cannot remove ") + QFile::decodeName(name) + QStringLiteral(": ") +
                        errnoText(removeError));
    };
    if (journal.step == RestoreJournal::Step::keeping) {
        // Interrupted while the old content moved to its visible folder.
        if (probe(journal.keptFrom).exists) {
            if (!keepAside(journal, journal.keptFrom, report, error))
                return false;
        } else if (probe(journal.kept).exists) {
            report->outcome = Outcome::keptAside;
            report->keptFolder = QDir(m_path).absoluteFilePath(QFile::decodeName(journal.kept));
        }
        if (journal.keptFrom != journal.work && probe(journal.work).exists && !removeNamed(journal.work))
            return false;
        return RestoreJournal::remove(m_fd.get(), m_faults, error);
    }

    const Plan plan = planFor(journal);
    switch (plan.data) {
    case DataIs::old:
        report->outcome = Outcome::cleanedUp;
        break;
    case DataIs::fresh:
        report->outcome = Outcome::completed;
        if (!plan.oldAt.isEmpty() && !removeNamed(plan.oldAt))
            return false;
        if (!removeMark(journal.mark, error))
            return false;
        break;
    case DataIs::missing:
        if (!plan.oldAt.isEmpty()) {
            if (!renameNoReplace(plan.oldAt, dataName) || !RestoreJournal::syncFolder(m_fd.get(), "rollback", m_faults))
                return fail(error, m_path + QStringLiteral(": cannot put Data back: ") + errnoText());
            report->outcome = Outcome::rolledBack;
            log(QStringLiteral("Данные возвращены после прерванной замены: ") + QFile::decodeName(plan.oldAt));
        } else {
            report->outcome = Outcome::cleanedUp;
        }
        break;
    case DataIs::foreign:
    case DataIs::unknown:
        // Someone made a new Data after ours was moved aside, or which folder holds the old content
        // cannot be told: nothing is removed, the old content stays visible.
        if (!plan.oldAt.isEmpty()) {
            if (!keepAside(journal, plan.oldAt, report, error))
                return false;
        } else {
            report->outcome = Outcome::cleanedUp;
        }
        break;
    }
    if (!plan.newAt.isEmpty() && !removeNamed(plan.newAt))
        return false;
    return RestoreJournal::remove(m_fd.get(), m_faults, error);
}

void RestoreContainer::removeOnlyMarks(const QByteArray& name)
{
    const int listFd = ::openat(m_fd.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    std::vector<QByteArray> marks;
    bool onlyMarks = true;
    while (dirent* e = ::readdir(dir)) {
        const QByteArray entry(e->d_name);
        if (entry == "." || entry == "..")
            continue;
        if (entry.startsWith(RestoreJournal::markPrefix) &&
            RestoreJournal::isMark(entry.mid(RestoreJournal::markPrefix.size())))
            marks.push_back(entry);
        else
            onlyMarks = false;
    }
    if (onlyMarks) {
        for (const QByteArray& mark : marks)
            ::unlinkat(::dirfd(dir), mark.constData(), 0);
    }
    ::closedir(dir);
}

void RestoreContainer::removeLeftovers(RestoreRecovery* report)
{
    std::vector<QByteArray> names;
    const int listFd = ::openat(m_fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    while (dirent* e = ::readdir(dir))
        names.emplace_back(e->d_name);
    ::closedir(dir);

    for (const QByteArray& name : names) {
        int error = 0;
        bool removed = false;
        if (RestoreJournal::isUniqueName(name, RestoreJournal::removalPrefix) || name == plainWorkingName) {
            // Only ever a tree that was being removed, or an unfinished restore of an earlier version.
            removed = removeTreeAt(m_fd.get(), name, &error);
        } else if (RestoreJournal::isUniqueName(name, RestoreJournal::workPrefix)) {
            // Made just before its journal: removed only while it holds nothing but a mark, so no
            // content can go.
            removeOnlyMarks(name);
            removed = ::unlinkat(m_fd.get(), name.constData(), AT_REMOVEDIR) == 0;
            if (!removed && errno != ENOTEMPTY && errno != EEXIST)
                error = errno;
        } else {
            continue;
        }
        if (removed) {
            log(QStringLiteral("Остаток прежнего запуска удалён: ") + QFile::decodeName(name));
            if (report->outcome == RestoreRecovery::Outcome::nothingToDo)
                report->outcome = RestoreRecovery::Outcome::cleanedUp;
        } else if (error) {
            log(QStringLiteral("Ошибка удаления остатка прежнего запуска: ") + QFile::decodeName(name) +
                QStringLiteral(": ") + errnoText(error));
        }
    }
}

bool RestoreContainer::recover(RestoreRecovery* report, QString* error)
{
    *report = {};
    RestoreJournal::removeUnfinished(m_fd.get());
    RestoreJournal journal;
    QString readError;
    switch (RestoreJournal::read(m_fd.get(), &journal, &readError)) {
    case RestoreJournal::Read::failed:
        return fail(error, m_path + QStringLiteral(": ") + readError);
    case RestoreJournal::Read::damaged: {
        // Not a record this engine wrote whole: nothing is done after it, and it is kept aside.
        log(QStringLiteral("Журнал восстановления повреждён и не используется: ") + readError);
        const QByteArray aside = freeUniqueName(damagedJournalPrefix());
        if (aside.isEmpty() || !renameNoReplace(RestoreJournal::fileName, aside))
            return fail(error, m_path + QStringLiteral(": cannot move the damaged journal aside: ") + errnoText());
        break;
    }
    case RestoreJournal::Read::ok:
        log(QStringLiteral("Найден журнал прерванного восстановления: ") +
            QString::fromUtf8(journal.serialize()).section(QLatin1Char('\n'), 1, 2).replace(QLatin1Char('\n'), u' '));
        if (!resolve(journal, report, error))
            return false;
        break;
    case RestoreJournal::Read::none:
        break;
    }
    removeLeftovers(report);
    return true;
}

bool RestoreContainer::makeWorkingFolder(QString* error)
{
    struct stat st = {};
    m_dataMode = ::fstatat(m_fd.get(), dataName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
        ? st.st_mode & 07777
        : 0700;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = uniqueName(RestoreJournal::workPrefix);
        if (::mkdirat(m_fd.get(), name.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            return fail(error, errnoText());
        }
        m_work.reset(::openat(m_fd.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // The mark goes in first, so that every record names a content that carries it.
        const QByteArray mark = uniqueName(QByteArray(), 16);
        const auto makeMark = [&] {
            UniqueFd file(::openat(m_work.get(), RestoreJournal::markName(mark).constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            return file.isValid() && ::fsync(file.get()) == 0 && file.close() &&
                RestoreJournal::syncFolder(m_work.get(), "working", m_faults);
        };
        if (!m_work.isValid() || ::fstat(m_work.get(), &st) != 0 || !makeMark()) {
            const int openError = errno;
            m_work.reset();
            removeTreeAt(m_fd.get(), name);
            return fail(error, errnoText(openError));
        }
        m_journal = RestoreJournal();
        m_journal.startedMSecs = QDateTime::currentMSecsSinceEpoch();
        m_journal.work = name;
        m_journal.workIdentity = {st.st_dev, st.st_ino};
        m_journal.mark = mark;
        if (!writeJournal(error)) {
            m_work.reset();
            removeTreeAt(m_fd.get(), name);
            return false;
        }
        return true;
    }
    return fail(error, errnoText(EEXIST));
}

bool RestoreContainer::applyDataMode(QString* error)
{
    return ::fchmod(m_work.get(), m_dataMode) == 0 || fail(error, errnoText());
}

void RestoreContainer::dropWorkingFolder()
{
    m_work.reset();
    if (!m_journalled || m_leaveForRecovery || m_swapped)
        return;
    if (probe(m_journal.work).exists && removeOurs(m_journal.work) == Removal::kept)
        return; // the journal stays: the next recovery tries again
    QString error;
    if (!RestoreJournal::remove(m_fd.get(), m_faults, &error))
        log(QStringLiteral("Ошибка удаления журнала: ") + error);
    m_journalled = false;
}

bool RestoreContainer::undoSwap(QString* error)
{
    using Method = RestoreJournal::Method;
    const QByteArray& work = m_journal.work;
    bool back = false;
    switch (m_journal.method) {
    case Method::none:
        back = renameNoReplace(dataName, work);
        break;
    case Method::exchange:
        back = ::renameat2(m_fd.get(), work.constData(), m_fd.get(), dataName.constData(), RENAME_EXCHANGE) == 0;
        break;
    case Method::twoSteps:
        back = renameNoReplace(dataName, work) && renameNoReplace(m_journal.aside, dataName);
        break;
    }
    if (back && RestoreJournal::syncFolder(m_fd.get(), "put-back", m_faults)) {
        revertJournal();
        return false;
    }
    // The journal says where each content is.
    *error += QStringLiteral("; Data could not be put back: ") + errnoText();
    m_leaveForRecovery = true;
    return false;
}

bool RestoreContainer::swapIn(QString* error)
{
    using Step = RestoreJournal::Step;
    using Method = RestoreJournal::Method;
    if (m_faults.failSwap)
        return fail(error, QStringLiteral("injected failure of the swap"));
    const QByteArray& work = m_journal.work;
    struct stat st = {};
    if (::fstatat(m_fd.get(), dataName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return fail(error, errnoText());
        // No Data: RENAME_NOREPLACE, so that a Data made meanwhile by someone else is never overwritten.
        m_journal.step = Step::swapping;
        m_journal.method = Method::none;
        if (!writeJournal(error))
            return false;
        m_faults.notify("swap:journal", work);
        if (!renameNoReplace(work, dataName)) {
            *error = errnoText();
            revertJournal();
            return false;
        }
    } else {
        log(QStringLiteral("Очистка директории: ") + QDir(m_path).absoluteFilePath(QStringLiteral("Data")));
        m_journal.step = Step::swapping;
        m_journal.method = Method::exchange;
        m_journal.dataIdentity = {st.st_dev, st.st_ino};
        const bool forceFallback = m_faults.forceSwapFallback;
        if (!forceFallback && !writeJournal(error))
            return false;
        if (!forceFallback)
            m_faults.notify("swap:journal", work);
        int exchangeError = EINVAL;
        if (!forceFallback &&
            ::renameat2(m_fd.get(), work.constData(), m_fd.get(), dataName.constData(), RENAME_EXCHANGE) == 0)
            exchangeError = 0;
        else if (!forceFallback)
            exchangeError = errno;
        if (exchangeError != 0 && !flagUnsupported(exchangeError)) {
            *error = errnoText(exchangeError);
            revertJournal();
            return false;
        }
        if (exchangeError != 0) {
            log(QStringLiteral("Атомарная замена не поддерживается, замена в два шага."));
            const int failStep = m_faults.failFallbackStep;
            m_journal.method = Method::twoSteps;
            m_journal.aside = freeUniqueName(RestoreJournal::asidePrefix);
            if (m_journal.aside.isEmpty()) {
                revertJournal();
                return fail(error, errnoText(EEXIST));
            }
            if (!writeJournal(error)) {
                revertJournal();
                return false;
            }
            m_faults.notify("swap:journal", work);
            if (failStep == 1 || !renameNoReplace(dataName, m_journal.aside)) {
                *error = failStep == 1 ? QStringLiteral("injected failure moving Data aside") : errnoText();
                revertJournal();
                return false;
            }
            bool movedIn = false;
            if (!RestoreJournal::syncFolder(m_fd.get(), "moved-aside", m_faults)) {
                *error = QStringLiteral("moving Data aside: ") + errnoText();
            } else {
                m_faults.notify("swap:moved-aside", m_journal.aside);
                m_journal.step = Step::movedAside;
                QString journalError;
                if (!writeJournal(&journalError))
                    log(QStringLiteral("Ошибка записи журнала: ") + journalError);
                if (failStep == 2 || failStep == 3 || !renameNoReplace(work, dataName))
                    *error = failStep ? QStringLiteral("injected failure moving the new content in") : errnoText();
                else
                    movedIn = true;
            }
            if (!movedIn) {
                if (failStep != 3 && renameNoReplace(m_journal.aside, dataName) &&
                    RestoreJournal::syncFolder(m_fd.get(), "put-back", m_faults)) {
                    revertJournal();
                    return false;
                }
                // Data is missing, or its return may not be on disk: the journal lets recover()
                // bring the old content back.
                *error += QStringLiteral("; Data could not be put back: ") + errnoText();
                m_leaveForRecovery = true;
                return false;
            }
            m_faults.notify("swap:moved-in", m_journal.aside);
        }
    }
    // A swap that may not be on disk is no success: Data goes back as it was.
    if (!RestoreJournal::syncFolder(m_fd.get(), "swap", m_faults)) {
        *error = QStringLiteral("swap: ") + errnoText();
        return undoSwap(error);
    }
    m_work.reset();
    m_swapped = true;
    m_journal.step = Step::swapped;
    QString journalError;
    // The swap stands also without this record: the names and the mark in the last one tell.
    if (!writeJournal(&journalError))
        log(QStringLiteral("Ошибка записи журнала: ") + journalError);
    m_faults.notify("swap:swapped", work);
    return true;
}

bool RestoreContainer::removeOldContent(QString* error)
{
    if (!m_swapped || !m_journalled)
        return true;
    using Method = RestoreJournal::Method;
    // After an exchange the old content has the working folder's name.
    const QByteArray old = m_journal.method == Method::exchange ? m_journal.work
        : m_journal.method == Method::twoSteps                  ? m_journal.aside
                                                                : QByteArray();
    int removeError = 0;
    Removal removal = Removal::removed;
    if (!old.isEmpty()) {
        if (m_faults.failCleanup) {
            const QByteArray removalName = freeUniqueName(RestoreJournal::removalPrefix);
            renameNoReplace(old, removalName);
            removeError = EBUSY;
            removal = Removal::leftOver;
        } else {
            removal = removeOurs(old, &removeError);
        }
    }
    m_journalled = false;
    if (removal == Removal::kept) {
        // The old content is whole under its name, and Data still holds the mark: the journal stays
        // for the next recovery, which removes both.
        *error = errnoText(removeError) + QStringLiteral("; left for the next recovery");
        return false;
    }
    // A tree left under its removal name goes with the next recovery.
    if (!removeMark(m_journal.mark, error))
        return false; // the journal stays: the next recovery removes the mark
    QString journalError;
    if (!RestoreJournal::remove(m_fd.get(), m_faults, &journalError)) {
        *error = journalError;
        return false;
    }
    if (removal != Removal::removed)
        *error = errnoText(removeError);
    return removal == Removal::removed;
}
