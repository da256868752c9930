#pragma once

#include "platform/updates/UpdateDeadlines.h"
#include "platform/updates/UpdateError.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// One GET of the updater. It fetches only from addresses UpdateAddress allows, follows redirects only
// to such addresses within the scheme it started with, gives up when the server stays silent for the
// stall time and, as a feed, at its deadline however steadily the server trickles, as a download when
// it falls below the minimum speed over a window; refuses a body larger than its limit (as soon as the declared length
// or the received bytes show it), hands the body to a sink as it arrives, at most readBufferSize bytes per turn of the
// event loop (the reply buffers about as much), and reports once through finished().
class UpdateRequest : public QObject
{
    Q_OBJECT

public:
    // Takes the body as it arrives; false stops the request as a file error.
    using Sink = std::function<bool(const QByteArray& chunk)>;

    enum class Kind { feed, download };

    static constexpr int maximumRedirects = 5;
    static constexpr qint64 readBufferSize = 256 * 1024;

    UpdateRequest(QNetworkAccessManager* network, const QUrl& url, qint64 byteLimit, UpdateError::Code overLimit,
                  Kind kind, const UpdateDeadlines& deadlines, Sink sink, QObject* parent = nullptr);
    ~UpdateRequest() override;

    void start();
    // Stops a running request; it reports cancelled.
    void abort();
    // While paused, the body waits in the reply's bounded buffer and the server is held back; the
    // deadline keeps running.
    void pause();
    void resume();

    qint64 receivedBytes() const { return m_received; }

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    // Nothing on success, else why the request failed.
    void finished(const std::optional<UpdateError>& failure);

private:
    void send(const QUrl& url);
    // Sends the request on to a redirect's target within the same scheme.
    std::optional<UpdateError> follow(const QUrl& target);
    void checkDeclaredLength();
    void readAvailable();
    void onFinished();
    // The server sent something: the stall timer starts again.
    void heardFromServer();
    void checkSpeed();
    std::optional<UpdateError> failureOf(const QNetworkReply* reply) const;
    // Keeps the first failure and stops the transfer.
    void stopWith(UpdateError error);
    std::optional<UpdateError> consume(const QByteArray& chunk);
    void report();

    QNetworkAccessManager* m_network;
    QUrl m_url;
    qint64 m_byteLimit;
    UpdateError::Code m_overLimit;
    Sink m_sink;
    Kind m_kind;
    UpdateDeadlines m_deadlines;
    QTimer m_deadline;
    QTimer m_stall;
    QTimer m_speedWindow;
    qint64 m_receivedAtWindowStart = 0;
    bool m_heardAnything = false;
    QPointer<QNetworkReply> m_reply;
    std::optional<UpdateError> m_failure;
    qint64 m_received = 0;
    int m_redirects = 0;
    bool m_paused = false;
    bool m_readQueued = false;
    bool m_reported = false;
};
