#include "platform/updates/PartialFileWriter.h"

#include "platform/WhenFinished.h"

#include <QFuture>
#include <QtConcurrent>

#include <cerrno>
#include <cstring>

#include <unistd.h>

// A descriptor of the writer's own, closed when the last batch that uses it is done.
class PartialFileWriter::Descriptor
{
public:
    explicit Descriptor(int descriptor)
        : m_fd(descriptor >= 0 ? ::dup(descriptor) : -1)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // Writes the chunks whole, in order. Runs on a worker thread.
    std::optional<QString> write(const QList<QByteArray>& chunks) const
    {
        if (m_fd < 0)
            return QStringLiteral("no file to write to");
        for (const QByteArray& chunk : chunks) {
            const char* data = chunk.constData();
            qsizetype left = chunk.size();
            while (left > 0) {
                const ssize_t written = ::write(m_fd, data, size_t(left));
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    return QString::fromLocal8Bit(std::strerror(written < 0 ? errno : ENOSPC));
                data += written;
                left -= written;
            }
        }
        return std::nullopt;
    }

private:
    int m_fd;
};

PartialFileWriter::PartialFileWriter(int descriptor, QObject* parent)
    : QObject(parent)
    , m_descriptor(std::make_shared<Descriptor>(descriptor))
{
}

PartialFileWriter::~PartialFileWriter() = default;

void PartialFileWriter::append(const QByteArray& chunk)
{
    if (m_failed || chunk.isEmpty())
        return;
    m_queue << chunk;
    m_pending += chunk.size();
    writeNext();
}

void PartialFileWriter::finish()
{
    m_finishing = true;
    writeNext();
}

void PartialFileWriter::writeNext()
{
    if (m_writing || m_failed)
        return;
    if (m_queue.isEmpty()) {
        if (m_finishing && !m_reported) {
            m_reported = true;
            Q_EMIT finished();
        }
        return;
    }
    m_writing = true;
    QList<QByteArray> batch;
    batch.swap(m_queue);
    qint64 size = 0;
    for (const QByteArray& chunk : batch)
        size += chunk.size();
    whenFinished(this, QtConcurrent::run([descriptor = m_descriptor, batch = std::move(batch)] {
                     return descriptor->write(batch);
                 }),
                 [this, size](const std::optional<QString>& error) { batchDone(error, size); });
}

void PartialFileWriter::batchDone(const std::optional<QString>& error, qint64 size)
{
    m_writing = false;
    m_pending -= size;
    if (error) {
        m_failed = true;
        m_queue.clear();
        m_pending = 0;
        if (!m_reported) {
            m_reported = true;
            Q_EMIT failed(*error);
        }
        return;
    }
    Q_EMIT written(m_pending);
    writeNext();
}
