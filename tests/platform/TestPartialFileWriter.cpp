#include "platform/updates/PartialFileWriter.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <fcntl.h>
#include <unistd.h>

class TestPartialFileWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Chunks reach the file whole and in order, however they are batched; finished() follows the last.
    void writesInOrder()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("partial")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        PartialFileWriter writer(file.handle());
        QSignalSpy finished(&writer, &PartialFileWriter::finished);
        QSignalSpy failed(&writer, &PartialFileWriter::failed);
        QByteArray expected;
        for (int i = 0; i < 200; ++i) {
            const QByteArray chunk = randomBytes(1 + (i * 7919) % 70000, quint32(i));
            writer.append(chunk);
            expected += chunk;
        }
        QVERIFY(writer.pendingBytes() > 0);
        writer.finish();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(writer.pendingBytes(), 0);
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), expected);
    }

    // A full disk stops the writer at the first error; later chunks are dropped and it never finishes.
    void fullDisk()
    {
        const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        QVERIFY(full >= 0);
        PartialFileWriter writer(full);
        ::close(full);
        QSignalSpy finished(&writer, &PartialFileWriter::finished);
        QSignalSpy failed(&writer, &PartialFileWriter::failed);
        writer.append(QByteArray(1000, 'x'));
        writer.finish();
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(!failed.first().first().toString().isEmpty());
        QVERIFY(writer.hasFailed());
        writer.append(QByteArray(10, 'y'));
        QCOMPARE(writer.pendingBytes(), 0);
        writer.finish();
        QCOMPARE(finished.count(), 0);
    }

    // The owner may close its file and drop the writer while a batch runs: the batch ends on the
    // writer's own descriptor, which is closed afterwards.
    void ownerLeavesEarly()
    {
        // Idle pool threads hold descriptors of their own.
        QThreadPool::globalInstance()->waitForDone();
        const int before = openDescriptorCount();
        QTemporaryDir dir;
        {
            QFile file(dir.filePath(QStringLiteral("partial")));
            QVERIFY(file.open(QIODevice::ReadWrite));
            auto* writer = new PartialFileWriter(file.handle());
            writer->append(QByteArray(32 * 1024 * 1024, 'z'));
            file.close();
            QVERIFY(QFile::remove(dir.filePath(QStringLiteral("partial"))));
            delete writer;
        }
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(openDescriptorCount(), before);
    }
};

TARN_TEST_MAIN(TestPartialFileWriter)
#include "TestPartialFileWriter.moc"
