#include "core/archive/FinderComment.h"

#include "platform/Diagnostics.h"

#include <QFile>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace {

// Linux keeps user attributes in the "user." namespace.
constexpr const char* attributeName = "user.com.apple.metadata:kMDItemFinderComment";
constexpr int maxCharacters = 4000;

// The first `limit` user-perceived characters of text, or text itself when it is not longer.
QString firstCharacters(const QString& text, int limit, bool* cut)
{
    *cut = false;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++count == limit) {
            const qsizetype end = finder.position();
            *cut = end < text.size();
            return text.left(end);
        }
    }
    return text;
}

} // namespace

ArchiveResult setFinderComment(const QString& path, const QString& comment)
{
    bool cut = false;
    const QString stored = firstCharacters(comment, maxCharacters, &cut);
    // Lone surrogates have no UTF-8 form: the conversion must not lose anything.
    const QByteArray bytes = stored.toUtf8();
    if (QString::fromUtf8(bytes) != stored)
        return fail(FinderCommentError(FinderCommentError::invalidEncoding));
    if (::setxattr(QFile::encodeName(path).constData(), attributeName, bytes.constData(), size_t(bytes.size()), 0) !=
        0) {
        const int error = errno;
        if (error == E2BIG || error == ENOSPC || error == ERANGE)
            qCDebug(lcDiagnostics).noquote()
                << QStringLiteral("Ошибка: файловая система не принимает комментарий размером %1 байт: %2")
                       .arg(bytes.size())
                       .arg(QString::fromLocal8Bit(std::strerror(error)));
        else
            qCDebug(lcDiagnostics).noquote()
                << QStringLiteral("Ошибка записи комментария: ") + QString::fromLocal8Bit(std::strerror(error));
        return fail(FinderCommentError(FinderCommentError::failedToAddComment));
    }
    if (!cut) {
        qCDebug(lcDiagnostics).noquote() << "Комментарий успешно добавлен к файлу.";
        return {};
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Комментарий был успешно добавлен, но обрезан до ") +
            QString::number(maxCharacters) + QStringLiteral(" символов: ") + stored;
    return fail(FinderCommentError(FinderCommentError::commentTooLong, stored));
}

std::optional<QString> getFinderComment(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    const ssize_t size = ::getxattr(local.constData(), attributeName, nullptr, 0);
    if (size < 1)
        return std::nullopt;
    QByteArray bytes(size, '\0');
    const ssize_t read = ::getxattr(local.constData(), attributeName, bytes.data(), size_t(bytes.size()));
    if (read < 0) {
        qCDebug(lcDiagnostics).noquote() << "Ошибка при получении комментария.";
        return std::nullopt;
    }
    bytes.truncate(read);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
