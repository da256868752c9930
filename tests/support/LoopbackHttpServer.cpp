#include "tests/support/LoopbackHttpServer.h"

#include <QTcpSocket>

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent)
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
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
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
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\nConnection: close\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.sendContentLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    socket->write(head + "\r\n" + response.body);
    socket->disconnectFromHost();
}
