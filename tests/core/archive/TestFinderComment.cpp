#include "core/archive/FinderComment.h"
#include "tests/support/TestMain.h"

#include <QTemporaryDir>

#include <sys/xattr.h>

namespace {

constexpr const char* attribute = "user.com.apple.metadata:kMDItemFinderComment";

QString repeated(const QString& unit, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += unit;
    return text;
}

} // namespace

class TestFinderComment : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_file;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("Backup_2024-03-05_14-07-09.orlwen"));
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void cleanup() { QFile::remove(m_file); }

    void writesAndReadsBack_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("cut");
        const QString exact = repeated(QStringLiteral("a"), 4000);
        // "e" + combining acute accent: one character, two code units.
        const QString combined = repeated(QStringLiteral("e\u0301"), 1300);
        QTest::newRow("plain") << QStringLiteral("Vor dem Update") << QStringLiteral("Vor dem Update") << false;
        QTest::newRow("umlauts and line breaks")
            << QStringLiteral("Grüße\nzweite Zeile") << QStringLiteral("Grüße\nzweite Zeile") << false;
        QTest::newRow("exactly 4000") << exact << exact << false;
        QTest::newRow("4001 is cut to 4000") << exact + QLatin1Char('b') << exact << true;
        QTest::newRow("characters, not code units") << combined << combined << false;
    }

    void writesAndReadsBack()
    {
        QFETCH(QString, comment);
        QFETCH(QString, stored);
        QFETCH(bool, cut);
        const ArchiveResult result = setFinderComment(m_file, comment);
        if (cut) {
            QVERIFY(!result);
            QCOMPARE(result.error().code, FinderCommentError::commentTooLong);
            QCOMPARE(result.error().truncatedComment, stored);
        } else {
            QVERIFY2(result, result ? "" : FinderCommentError::name(result.error().code));
        }
        QCOMPARE(getFinderComment(m_file), std::optional<QString>(stored));
    }

    void cutsByCharacters()
    {
        // 4001 characters of two code units each: cut after the 4000th whole character. On ext4
        // the cut value (12000 bytes) is then refused by the file system.
        const QString text = repeated(QStringLiteral("e\u0301"), 4001);
        const ArchiveResult result = setFinderComment(m_file, text);
        QVERIFY(!result);
        QCOMPARE(result.error().code, FinderCommentError::failedToAddComment);
        QVERIFY(!getFinderComment(m_file));
    }

    void valueTooLargeForTheFileSystem()
    {
        // 4000 umlauts are not cut, but 8000 bytes exceed what ext4 keeps per attribute.
        const ArchiveResult result = setFinderComment(m_file, repeated(QStringLiteral("ü"), 4000));
        QVERIFY(!result);
        QCOMPARE(result.error().code, FinderCommentError::failedToAddComment);
    }

    void invalidText()
    {
        const QString loneSurrogate(QChar(0xD800));
        const ArchiveResult result = setFinderComment(m_file, QStringLiteral("a") + loneSurrogate);
        QVERIFY(!result);
        QCOMPARE(result.error().code, FinderCommentError::invalidEncoding);
        QVERIFY(!getFinderComment(m_file));
    }

    void missingFile()
    {
        const ArchiveResult result = setFinderComment(m_dir.filePath(QStringLiteral("missing")), QStringLiteral("x"));
        QVERIFY(!result);
        QCOMPARE(result.error().code, FinderCommentError::failedToAddComment);
        QVERIFY(!getFinderComment(m_dir.filePath(QStringLiteral("missing"))));
    }

    void readsNothing_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("set");
        QTest::newRow("no attribute") << QByteArray() << false;
        QTest::newRow("empty value") << QByteArray() << true;
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\x80") << true;
    }

    void readsNothing()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, set);
        if (set)
            QCOMPARE(
                ::setxattr(QFile::encodeName(m_file).constData(), attribute, raw.constData(), size_t(raw.size()), 0),
                0);
        QVERIFY(!getFinderComment(m_file));
    }

    void emptyCommentWritesEmptyValue()
    {
        QVERIFY(setFinderComment(m_file, QStringLiteral("alt")));
        QVERIFY(setFinderComment(m_file, QString()));
        QCOMPARE(::getxattr(QFile::encodeName(m_file).constData(), attribute, nullptr, 0), 0);
        QVERIFY(!getFinderComment(m_file));
    }
};

TARN_TEST_MAIN(TestFinderComment)
#include "TestFinderComment.moc"
