#include "tests/support/LoopbackHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// Sends one response over a socket in pieces and closes the connection after the last one.
class Transmission : public QObject
{
public:
    Transmission(QTcpSocket* socket, const QByteArray& head, const LoopbackHttpServer::Response& response)
        : QObject(socket)
        , m_socket(socket)
        , m_head(head)
        , m_body(response.body)
        , m_pieceSize(response.pieceSize > 0 ? response.pieceSize : head.size() + response.body.size())
        , m_interval(response.pieceInterval)
    {
        const qsizetype total = m_head.size() + m_body.size();
        m_end = response.stallAfter >= 0 ? qMin(response.stallAfter, total) : total;
        m_closes = m_end == total;
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &Transmission::sendPiece);
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
            if (m_socket->bytesToWrite() == 0 && m_sent < m_end && !m_timer.isActive())
                m_timer.start(m_interval);
        });
        sendPiece();
    }

private:
    // The next piece, within the head or within the body.
    void sendPiece()
    {
        if (m_sent >= m_end)
            return;
        const bool inHead = m_sent < m_head.size();
        const qsizetype offset = inHead ? m_sent : m_sent - m_head.size();
        const QByteArray& part = inHead ? m_head : m_body;
        const qsizetype size = std::min({m_pieceSize, m_end - m_sent, part.size() - offset});
        m_socket->write(part.constData() + offset, size);
        m_sent += size;
        if (m_sent >= m_end && m_closes)
            m_socket->disconnectFromHost();
    }

    QTcpSocket* m_socket;
    QByteArray m_head;
    QByteArray m_body;
    qsizetype m_pieceSize;
    int m_interval;
    qsizetype m_end = 0;
    bool m_closes = true;
    qsizetype m_sent = 0;
    QTimer m_timer;
};

} // namespace

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent)
    , m_server(this)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl LoopbackHttpServer::url(const QString& path) const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_server.serverPort());
    url.setPath(path);
    return url;
}

void LoopbackHttpServer::setResponse(const QString& path, const Response& response)
{
    m_responses.insert(path, response);
}

void LoopbackHttpServer::setBody(const QString& path, const QByteArray& body)
{
    Response response;
    response.body = body;
    setResponse(path, response);
}

void LoopbackHttpServer::setRedirect(const QString& path, const QUrl& target, int status)
{
    Response response;
    response.status = status;
    response.headers << qMakePair(QByteArray("Location"), target.toEncoded());
    setResponse(path, response);
}

void LoopbackHttpServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        ++m_openConnections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_openConnections;
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::readRequest(QTcpSocket* socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);

    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QUrl(QString::fromLatin1(requestLine[1])).path() : QString();
    m_requests[path] += 1;

    Response response;
    if (m_responses.contains(path)) {
        response = m_responses.value(path);
    } else {
        response.status = 404;
        response.body = "not found";
    }
    answer(socket, response);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const Response& response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\nConnection: close\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.sendContentLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "\r\n";
    new Transmission(socket, head, response);
}
