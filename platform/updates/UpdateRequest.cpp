#include "platform/updates/UpdateRequest.h"

#include "platform/Diagnostics.h"
#include "platform/updates/UpdateAddress.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

bool isSuccessStatus(const QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.toInt() >= 200 && status.toInt() < 300;
}

int httpStatus(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isRedirect(const QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 300 && status < 400 && reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid();
}

} // namespace

UpdateRequest::UpdateRequest(QNetworkAccessManager* network, const QUrl& url, qint64 byteLimit,
                             UpdateError::Code overLimit, Kind kind, const UpdateDeadlines& deadlines, Sink sink,
                             QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_url(url)
    , m_byteLimit(byteLimit)
    , m_overLimit(overLimit)
    , m_sink(std::move(sink))
    , m_kind(kind)
    , m_deadlines(deadlines)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(deadlines.feed);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        stopWith(UpdateError{UpdateError::timedOut,
                             QStringLiteral("no complete answer within %1 ms").arg(m_deadline.interval())});
    });
    m_stall.setSingleShot(true);
    m_stall.setInterval(deadlines.stall);
    connect(&m_stall, &QTimer::timeout, this, [this] {
        if (m_paused) {
            m_stall.start(); // the disk holds the transfer back, not the server
            return;
        }
        stopWith(UpdateError{UpdateError::timedOut,
                             QStringLiteral("nothing from the server for %1 ms%2")
                                 .arg(m_stall.interval())
                                 .arg(m_heardAnything ? QString() : QStringLiteral(", ever"))});
    });
    m_speedWindow.setInterval(deadlines.speedWindow);
    connect(&m_speedWindow, &QTimer::timeout, this, &UpdateRequest::checkSpeed);
}

UpdateRequest::~UpdateRequest()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void UpdateRequest::start()
{
    if (!UpdateAddress::isAllowed(m_url)) {
        m_failure = UpdateError{UpdateError::insecureAddress,
                                QStringLiteral("refused ") + m_url.toDisplayString(QUrl::RemoveUserInfo)};
        QMetaObject::invokeMethod(this, &UpdateRequest::report, Qt::QueuedConnection);
        return;
    }
    if (m_kind == Kind::feed)
        m_deadline.start();
    m_stall.start();
    if (m_kind == Kind::download && m_deadlines.minimumBytesPerSecond > 0 && m_deadlines.speedWindow > 0)
        m_speedWindow.start();
    send(m_url);
}

void UpdateRequest::send(const QUrl& url)
{
    QNetworkRequest request(url);
    // Redirects are followed here, where their scheme is checked.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The body's length must be the length on the wire: no transfer compression.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_network->get(request);
    // The body arrives in bounded reads, and a paused request holds the server back.
    m_reply->setReadBufferSize(readBufferSize);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateRequest::heardFromServer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateRequest::checkDeclaredLength);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &UpdateRequest::heardFromServer);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateRequest::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateRequest::onFinished);
}

void UpdateRequest::abort()
{
    stopWith(UpdateError{UpdateError::cancelled, QStringLiteral("stopped by the updater")});
}

void UpdateRequest::pause()
{
    m_paused = true;
}

void UpdateRequest::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    // The time the disk held the transfer back does not count against the server.
    m_stall.start();
    if (m_speedWindow.isActive()) {
        m_receivedAtWindowStart = m_received;
        m_speedWindow.start();
    }
    readAvailable();
}

void UpdateRequest::heardFromServer()
{
    m_heardAnything = true;
    if (!m_failure && !m_reported)
        m_stall.start();
}

void UpdateRequest::checkSpeed()
{
    if (m_paused) {
        m_receivedAtWindowStart = m_received;
        return;
    }
    const qint64 window = m_received - m_receivedAtWindowStart;
    const qint64 needed = m_deadlines.minimumBytesPerSecond * m_deadlines.speedWindow / 1000;
    if (window < needed) {
        stopWith(UpdateError{UpdateError::timedOut,
                             QStringLiteral("%1 bytes in %2 ms, below %3 bytes per second")
                                 .arg(window)
                                 .arg(m_deadlines.speedWindow)
                                 .arg(m_deadlines.minimumBytesPerSecond)});
        return;
    }
    m_receivedAtWindowStart = m_received;
}

std::optional<UpdateError> UpdateRequest::follow(const QUrl& target)
{
    const QUrl resolved = m_reply->url().resolved(target);
    if (resolved.scheme().compare(m_url.scheme(), Qt::CaseInsensitive) != 0) {
        return UpdateError{UpdateError::redirectToOtherScheme,
                           QStringLiteral("redirect to ") + resolved.toDisplayString(QUrl::RemoveUserInfo)};
    }
    if (!UpdateAddress::isAllowed(resolved)) {
        return UpdateError{UpdateError::insecureAddress,
                           QStringLiteral("redirect to ") + resolved.toDisplayString(QUrl::RemoveUserInfo)};
    }
    if (++m_redirects > maximumRedirects)
        return UpdateError{UpdateError::tooManyRedirects,
                           QStringLiteral("more than %1 redirects").arg(maximumRedirects)};
    m_reply->disconnect(this);
    m_reply->deleteLater();
    send(resolved);
    return std::nullopt;
}

void UpdateRequest::checkDeclaredLength()
{
    if (!m_reply || !isSuccessStatus(m_reply))
        return;
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() > m_byteLimit) {
        stopWith(UpdateError{m_overLimit,
                             QStringLiteral("declared length %1 over %2").arg(declared.toLongLong()).arg(m_byteLimit)});
    }
}

void UpdateRequest::readAvailable()
{
    if (!m_reply || m_failure || m_paused)
        return;
    if (!isSuccessStatus(m_reply)) {
        m_reply->readAll(); // the body of a redirect or an error page
        return;
    }
    if (auto failure = consume(m_reply->read(readBufferSize))) {
        stopWith(*failure);
        return;
    }
    // One bounded read per turn of the event loop; the rest waits for the next.
    if (m_reply && m_reply->bytesAvailable() > 0 && !m_readQueued) {
        m_readQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_readQueued = false;
                readAvailable();
            },
            Qt::QueuedConnection);
    }
}

std::optional<UpdateError> UpdateRequest::consume(const QByteArray& chunk)
{
    if (chunk.isEmpty())
        return std::nullopt;
    m_received += chunk.size();
    if (m_received > m_byteLimit)
        return UpdateError{m_overLimit, QStringLiteral("body over %1 bytes").arg(m_byteLimit)};
    if (m_sink && !m_sink(chunk))
        return UpdateError{UpdateError::fileError, QStringLiteral("cannot store the body")};
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    Q_EMIT progress(m_received, declared.isValid() ? declared.toLongLong() : -1);
    return std::nullopt;
}

void UpdateRequest::stopWith(UpdateError error)
{
    if (m_failure || m_reported)
        return;
    m_failure = std::move(error);
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    report();
}

void UpdateRequest::onFinished()
{
    if (m_reported)
        return;
    QNetworkReply* reply = m_reply;
    if (!m_failure && isRedirect(reply)) {
        m_failure = follow(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
        if (!m_failure)
            return;
    }
    if (!m_failure) {
        if (const std::optional<UpdateError> failure = failureOf(reply)) {
            m_failure = failure;
        } else {
            // Whatever is left in the buffer, paused or not.
            while (!m_failure && reply->bytesAvailable() > 0)
                m_failure = consume(reply->read(readBufferSize));
        }
    }
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    report();
}

std::optional<UpdateError> UpdateRequest::failureOf(const QNetworkReply* reply) const
{
    const int status = httpStatus(reply);
    const QString detail = QStringLiteral("HTTP status %1: %2").arg(status).arg(reply->errorString());
    if (status == 404 || status == 410)
        return UpdateError{UpdateError::notFound, detail, status};
    if (status >= 500)
        return UpdateError{UpdateError::serverError, detail, status};
    if (status >= 400)
        return UpdateError{UpdateError::requestRefused, detail, status};
    switch (reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::RemoteHostClosedError:
        // Closed after an answer began: broken off; closed before any answer: the server is unwell.
        if (status > 0 || m_heardAnything)
            return UpdateError{UpdateError::brokenOff, reply->errorString()};
        return UpdateError{UpdateError::serverError, reply->errorString()};
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return UpdateError{UpdateError::timedOut, reply->errorString()};
    default:
        if (status > 0 || m_heardAnything)
            return UpdateError{UpdateError::brokenOff, reply->errorString()};
        return UpdateError{UpdateError::networkFailure, reply->errorString()};
    }
    if (!isSuccessStatus(reply))
        return UpdateError{UpdateError::requestRefused, detail, status};
    return std::nullopt;
}

void UpdateRequest::report()
{
    if (m_reported)
        return;
    m_reported = true;
    m_deadline.stop();
    m_stall.stop();
    m_speedWindow.stop();
    if (m_failure)
        qCDebug(lcDiagnostics) << "Запрос обновления не удался:" << UpdateError::name(m_failure->code)
                               << m_failure->detail;
    Q_EMIT finished(m_failure);
}
