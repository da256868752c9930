// Throughput of the cipher layers alone (not run by ctest):
//   build/bench/BenchArchiveCipher -median 5
#include "core/archive/ArchiveCipher.h"
#include "core/archive/CipherSink.h"
#include "core/archive/CipherSource.h"

#include <QTemporaryFile>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class BenchArchiveCipher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sinkEncrypt_data() { sizes(); }
    void sinkEncrypt()
    {
        QFETCH(int, mebibytes);
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("bench"));
        const QByteArray piece(64 * 1024, 'x');
        const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        QBENCHMARK
        {
            CipherSink sink(fd, key, ArchiveCipher::iv());
            for (int i = 0; i < mebibytes * 16; ++i)
                sink.write(piece.constData(), size_t(piece.size()));
            QVERIFY(sink.finish());
        }
        ::close(fd);
    }

    void sourceDecrypt_data() { sizes(); }
    void sourceDecrypt()
    {
        QFETCH(int, mebibytes);
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("bench"));
        QByteArray plain(qsizetype(mebibytes) << 20, 'y');
        plain.replace(0, 4, "PK\x03\x04");
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(*ArchiveCipher::aesEncrypt(key, ArchiveCipher::iv(), plain));
        file.flush();
        QBENCHMARK
        {
            CipherSource source(file.handle(), key, ArchiveCipher::iv());
            QString detail;
            QCOMPARE(source.open(&detail), CipherSource::Check::ok);
            const char* data = nullptr;
            qint64 at = 0;
            while (const qint64 n = source.read(at, &data))
                at += n;
            QCOMPARE(at, plain.size());
        }
    }

private:
    static void sizes()
    {
        QTest::addColumn<int>("mebibytes");
        QTest::newRow("16 MiB") << 16;
        QTest::newRow("256 MiB") << 256;
    }
};

QTEST_GUILESS_MAIN(BenchArchiveCipher)
#include "BenchArchiveCipher.moc"
