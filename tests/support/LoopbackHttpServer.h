#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests: answers each GET from a table of
// responses by path and then closes the connection. Unknown paths get 404.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        // Without a Content-Length the body ends where the connection closes.
        bool sendContentLength = true;
    };

    explicit LoopbackHttpServer(QObject* parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    QUrl url(const QString& path) const;

    void setResponse(const QString& path, const Response& response);
    void setBody(const QString& path, const QByteArray& body);
    void setRedirect(const QString& path, const QUrl& target, int status = 302);
    // GET requests received for path so far.
    int requestCount(const QString& path) const { return m_requests.value(path); }
    void resetRequestCounts() { m_requests.clear(); }

private:
    void accept();
    void readRequest(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QHash<QString, int> m_requests;
};
