#include "core/archive/ArchiveCipher.h"
#include "core/archive/CipherSink.h"
#include "core/archive/CipherSource.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QRandomGenerator>
#include <QTemporaryFile>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray sinkEncrypt(const QByteArray& key, const QByteArray& plain, qsizetype piece)
{
    QTemporaryFile file;
    if (!file.open())
        return {};
    {
        CipherSink sink(file.handle(), key, ArchiveCipher::iv());
        for (qsizetype at = 0; at < plain.size(); at += piece) {
            if (!sink.write(plain.constData() + at, size_t(std::min(piece, plain.size() - at))))
                return {};
        }
        if (!sink.finish())
            return {};
    }
    file.seek(0);
    return file.readAll();
}

} // namespace

class TestArchiveCipher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // RFC 7914, section 11.
    void pbkdf2Vectors_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<int>("iterations");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("passwd/salt/1") << QByteArray("passwd") << QByteArray("salt") << 1
                                       << QByteArray(
                                              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                              "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
        QTest::newRow("Password/NaCl/80000")
            << QByteArray("Password") << QByteArray("NaCl") << 80000
            << QByteArray("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
                          "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d");
    }

    void pbkdf2Vectors()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(int, iterations);
        QFETCH(QByteArray, expected);
        const auto key = ArchiveCipher::pbkdf2Sha256(password, salt, iterations, 64);
        QVERIFY(key);
        QCOMPARE(key->toHex(), expected);
    }

    // NIST SP 800-38A, F.2.5 and F.2.6 (CBC-AES256), without padding.
    void aesCbcVectors_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipher");
        const QByteArray plain =
            QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                                "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
        const QByteArray cipher =
            QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                                "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
        QTest::newRow("one block") << plain.left(16) << cipher.left(16);
        QTest::newRow("four blocks") << plain << cipher;
    }

    void aesCbcVectors()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipher);
        const QByteArray key = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
        const QByteArray iv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
        QCOMPARE(ArchiveCipher::aesEncrypt(key, iv, plain, false).value_or(QByteArray()).toHex(), cipher.toHex());
        QCOMPARE(ArchiveCipher::aesDecrypt(key, iv, cipher, false).value_or(QByteArray()).toHex(), plain.toHex());
    }

    // Pins the backup format: a change of the built-in constants must fail here.
    void backupKeyAndCipherAreFixed()
    {
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("Geheim 1"));
        QCOMPARE(key.toHex(), QByteArray("1f45771d246689d7168e021d2cacf44f243ca5936cdb659dd1e44417b9018f65"));
        QCOMPARE(ArchiveCipher::aesEncrypt(key, ArchiveCipher::iv(), "Tarn").value_or(QByteArray()).toHex(),
                 QByteArray("80c5235514626d2a6a9b96f151fcb1bb"));
        QCOMPARE(ArchiveCipher::deriveKey(QStringLiteral("Geheim 1")), key);
        // An empty password derives from the built-in key alone.
        QCOMPARE(ArchiveCipher::deriveKey(QString()),
                 *ArchiveCipher::pbkdf2Sha256(ArchiveCipher::internalKey, ArchiveCipher::saltText, 10000, 32));
    }

    void paddedSizes_data()
    {
        QTest::addColumn<int>("plainSize");
        QTest::addColumn<int>("cipherSize");
        QTest::newRow("empty") << 0 << 16;
        QTest::newRow("one byte") << 1 << 16;
        QTest::newRow("15 bytes") << 15 << 16;
        QTest::newRow("one block") << 16 << 32;
        QTest::newRow("17 bytes") << 17 << 32;
    }

    void paddedSizes()
    {
        QFETCH(int, plainSize);
        QFETCH(int, cipherSize);
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("pw"));
        const QByteArray plain = randomBytes(plainSize, 7);
        const auto cipher = ArchiveCipher::aesEncrypt(key, ArchiveCipher::iv(), plain);
        QVERIFY(cipher);
        QCOMPARE(cipher->size(), cipherSize);
        QCOMPARE(ArchiveCipher::aesDecrypt(key, ArchiveCipher::iv(), *cipher).value_or(QByteArray("x")), plain);
    }

    void wrongKeyFailsOnPadding()
    {
        const QByteArray plain("a backup that is not read back with the right password");
        const auto cipher =
            ArchiveCipher::aesEncrypt(ArchiveCipher::deriveKey(QStringLiteral("right")), ArchiveCipher::iv(), plain);
        QVERIFY(cipher);
        // Fixed input, so the outcome is fixed: this key yields invalid padding.
        QVERIFY(!ArchiveCipher::aesDecrypt(ArchiveCipher::deriveKey(QStringLiteral("wrong")), ArchiveCipher::iv(),
                                           *cipher));
    }

    // The streaming sink writes exactly the one-shot ciphertext, whatever the write pieces.
    void sinkMatchesOneShot_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("piece");
        const int chunk = int(CipherSink::chunkSize);
        QTest::newRow("empty") << 0 << 1;
        QTest::newRow("one block") << 16 << 16;
        QTest::newRow("odd pieces") << 100003 << 333;
        QTest::newRow("exactly one chunk") << chunk << 4096;
        QTest::newRow("chunks and a tail") << 3 * chunk + 17 << chunk + 5;
    }

    void sinkMatchesOneShot()
    {
        QFETCH(int, size);
        QFETCH(int, piece);
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("sink"));
        const QByteArray plain = randomBytes(size, quint32(size));
        const QByteArray expected = ArchiveCipher::aesEncrypt(key, ArchiveCipher::iv(), plain).value_or(QByteArray());
        QCOMPARE(sinkEncrypt(key, plain, piece), expected);
    }

    void sinkReportsWriteFailure()
    {
        const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const QByteArray data(int(CipherSink::chunkSize) * 3, 'x');
        bool ok = true;
        {
            CipherSink sink(fd, ArchiveCipher::deriveKey(QString()), ArchiveCipher::iv());
            for (int i = 0; i < 8 && ok; ++i)
                ok = sink.write(data.constData(), size_t(data.size()));
            ok = ok && sink.finish();
            QVERIFY(!sink.errorString().isEmpty());
        }
        ::close(fd);
        QVERIFY(!ok);
    }

    // Any range of the plaintext reads back from the ciphertext alone.
    void sourceReadsAnyRange()
    {
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("source"));
        QByteArray plain = "PK\x03\x04" + randomBytes(3 * (1 << 20) + 1234, 11);
        const QByteArray cipher = ArchiveCipher::aesEncrypt(key, ArchiveCipher::iv(), plain).value_or(QByteArray());
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(cipher);
        file.flush();
        CipherSource source(file.handle(), key, ArchiveCipher::iv());
        QString detail;
        QCOMPARE(source.open(&detail), CipherSource::Check::ok);
        QCOMPARE(source.plainSize(), plain.size());
        for (const qint64 start :
             {qint64(0), qint64(1), qint64(15), qint64(16), qint64(1 << 20) - 3, qint64(plain.size()) - 5}) {
            const char* data = nullptr;
            const qint64 n = source.read(start, &data);
            QVERIFY2(n > 0, qPrintable(QString::number(start)));
            QCOMPARE(QByteArray(data, n), plain.mid(start, n));
        }
        const char* data = nullptr;
        QCOMPARE(source.read(plain.size(), &data), 0);
    }

    void sourceChecks_data()
    {
        QTest::addColumn<QByteArray>("fileBytes");
        QTest::addColumn<int>("expected");
        const QByteArray key = ArchiveCipher::deriveKey(QStringLiteral("source"));
        const QByteArray iv = ArchiveCipher::iv();
        const auto enc = [&](const QByteArray& plain) { return *ArchiveCipher::aesEncrypt(key, iv, plain); };
        using C = CipherSource::Check;
        QTest::newRow("empty") << QByteArray() << int(C::empty);
        QTest::newRow("not a block multiple") << enc("PK\x03\x04 data").left(15) << int(C::unreadable);
        QTest::newRow("bad padding") << *ArchiveCipher::aesEncrypt(key, iv, QByteArray(16, '\0'), false)
                                     << int(C::unreadable);
        QTest::newRow("empty plaintext") << enc(QByteArray()) << int(C::notZip);
        QTest::newRow("shorter than a signature") << enc("PK\x03") << int(C::notZip);
        QTest::newRow("no signature") << enc("hello, world") << int(C::notZip);
        QTest::newRow("signature") << enc("PK\x03\x04") << int(C::ok);
    }

    void sourceChecks()
    {
        QFETCH(QByteArray, fileBytes);
        QFETCH(int, expected);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(fileBytes);
        file.flush();
        CipherSource source(file.handle(), ArchiveCipher::deriveKey(QStringLiteral("source")), ArchiveCipher::iv());
        QString detail;
        QCOMPARE(int(source.open(&detail)), expected);
    }
};

TARN_TEST_MAIN(TestArchiveCipher)
#include "TestArchiveCipher.moc"
