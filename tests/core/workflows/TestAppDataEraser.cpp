#include "core/workflows/AppDataEraser.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// The erase removes ~/Library/Containers/de.orlwen/Data and nothing outside it.
class TestAppDataEraser : public QObject
{
    Q_OBJECT

    const QString m_container = QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen");
    const QString m_data = m_container + QStringLiteral("/Data");
    const QString m_outside = QDir::homePath() + QStringLiteral("/Draußen");

private Q_SLOTS:
    void init()
    {
        QDir(m_container).removeRecursively();
        QDir(m_outside).removeRecursively();
        QVERIFY(writeFile(m_outside + QStringLiteral("/bleibt.txt"), "bleibt"));
        QVERIFY(QDir().mkpath(m_container));
    }

    void erase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("folder with content and links") << "folder" << true;
        QTest::newRow("link to a folder elsewhere") << "link" << true;
        QTest::newRow("plain file") << "file" << true;
        QTest::newRow("missing") << "missing" << false;
    }

    void erase()
    {
        QFETCH(QString, kind);
        QFETCH(bool, succeeds);
        if (kind == QLatin1String("folder")) {
            QVERIFY(writeFile(m_data + QStringLiteral("/db/bewohner.sqlite"), "daten"));
            QVERIFY(writeFile(m_data + QStringLiteral("/.versteckt"), "x"));
            QVERIFY(QFile::link(m_outside, m_data + QStringLiteral("/zum Ordner")));
            QVERIFY(QFile::link(m_outside + QStringLiteral("/bleibt.txt"), m_data + QStringLiteral("/db/zur Datei")));
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(m_outside, m_data));
        } else if (kind == QLatin1String("file")) {
            QVERIFY(writeFile(m_data, "keine Mappe"));
        }
        const QMap<QString, QString> outsideBefore = treeSnapshot(m_outside);

        const AppDataEraser::Outcome result = AppDataEraser::eraseAppData().result();
        QCOMPARE(bool(result), succeeds);
        if (!succeeds) {
            QCOMPARE(result.error().code, FinderCommentError::directoryNotFound);
            QVERIFY(result.error().refusal.isEmpty());
        }
        QVERIFY(!QFileInfo(m_data).exists());
        QVERIFY(!QFileInfo(m_data).isSymLink());
        // The container stays, and nothing a link pointed at is touched.
        QVERIFY(QFileInfo(m_container).isDir());
        QCOMPARE(treeSnapshot(m_outside), outsideBefore);
    }
};

TARN_TEST_MAIN(TestAppDataEraser)
#include "TestAppDataEraser.moc"
