#include "core/workflows/ContainerGuard.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>

class TestContainerGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString home = QDir::homePath();
        QVERIFY(QDir().mkpath(home + QStringLiteral("/Library/Containers/de.orlwen/Data")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/Backups")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/Library/Containers/de.orlwen-other")));
        QVERIFY(QFile::link(home + QStringLiteral("/Library/Containers/de.orlwen"),
                            home + QStringLiteral("/ContainerLink")));
    }

    void overlapsContainer_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("refused");
        QTest::newRow("the container") << "Library/Containers/de.orlwen" << true;
        QTest::newRow("the data folder") << "Library/Containers/de.orlwen/Data" << true;
        QTest::newRow("a folder not made yet inside") << "Library/Containers/de.orlwen/Backups/new" << true;
        QTest::newRow("a parent of the container") << "Library" << true;
        QTest::newRow("through a link") << "ContainerLink/Data" << true;
        QTest::newRow("dot segments into it") << "Backups/../Library/Containers/de.orlwen" << true;
        QTest::newRow("a sibling folder") << "Backups" << false;
        QTest::newRow("a name that only starts alike") << "Library/Containers/de.orlwen-other" << false;
        QTest::newRow("a folder not made yet elsewhere") << "Backups/later" << false;
    }

    void overlapsContainer()
    {
        QFETCH(QString, relative);
        QFETCH(bool, refused);
        QCOMPARE(ContainerGuard::overlapsContainer(QDir::homePath() + QLatin1Char('/') + relative), refused);
    }

    void noFolderIsNoOverlap() { QVERIFY(!ContainerGuard::overlapsContainer(QString())); }
};

TARN_TEST_MAIN(TestContainerGuard)
#include "TestContainerGuard.moc"
