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
// responses by path and then closes the connection. Unknown paths get 404. A response can be paced
// (a piece every few milliseconds) or stall part-way with the connection left open, as slow and hung
// servers do. It works on the thread it was made on, which may be one of its own.
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
        // The response (head and body) goes out in pieces of this many bytes; 0 sends it whole.
        qsizetype pieceSize = 0;
        // Milliseconds between two pieces; 0 sends the next piece as soon as the last has left.
        int pieceInterval = 0;
        // After this many bytes of the response nothing more is sent and the connection stays open;
        // 0 never answers, -1 sends everything.
        qsizetype stallAfter = -1;
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
    // Connections that the server holds open: ones still being answered or stalled.
    int openConnections() const { return m_openConnections; }

private:
    void accept();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Response& response);

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QHash<QString, int> m_requests;
    int m_openConnections = 0;
};
