#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

// Writes a download's bytes into an open file on worker threads, a batch at a time and in order, so a
// slow disk never holds the GUI thread. It writes through its own duplicate of the descriptor: the
// owner may close and remove the file while a batch is still being written.
class PartialFileWriter : public QObject
{
    Q_OBJECT

public:
    explicit PartialFileWriter(int descriptor, QObject* parent = nullptr);
    ~PartialFileWriter() override;

    // Queues chunk behind the bytes before it. Dropped after a failure.
    void append(const QByteArray& chunk);
    // Bytes queued or being written.
    qint64 pendingBytes() const { return m_pending; }
    bool hasFailed() const { return m_failed; }
    // Reports finished() once every queued byte is written (or failed() first).
    void finish();

Q_SIGNALS:
    // A batch is on disk; pending bytes remain.
    void written(qint64 pending);
    // Writing stopped at the first error; nothing more is written.
    void failed(const QString& detail);
    void finished();

private:
    class Descriptor;
    void writeNext();
    void batchDone(const std::optional<QString>& error, qint64 size);

    std::shared_ptr<Descriptor> m_descriptor;
    QList<QByteArray> m_queue;
    qint64 m_pending = 0;
    bool m_writing = false;
    bool m_finishing = false;
    bool m_failed = false;
    bool m_reported = false;
};
