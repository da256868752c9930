#include "app/backup/DeleteButtonView.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>
#include <QTextBlock>

using namespace BackupScreens;

// The erase sheet through the main screen: consent first, then Data goes and nothing else.
class TestEraseScreen : public QObject
{
    Q_OBJECT

    const QString m_outside = QDir::homePath() + QStringLiteral("/Draußen");

    static DeleteButtonView* openErase(MainScreen& main)
    {
        main.view->openSheet(BackupActionType::delete_);
        auto* screen = main.screen<DeleteButtonView>();
        if (screen)
            screen->checkBox()->setLockInterval(0);
        return screen;
    }

private Q_SLOTS:
    void init()
    {
        QDir(containerFolder()).removeRecursively();
        QDir(m_outside).removeRecursively();
        QVERIFY(writeDataTree(QStringLiteral("eins")));
        QVERIFY(writeFile(m_outside + QStringLiteral("/bleibt.txt"), "bleibt"));
    }

    // The sheet opens unticked with its action disabled; the box alone enables it.
    void consentEnablesTheAction()
    {
        MainScreen main;
        main.context()->setIsButtonDisabled(false);
        DeleteButtonView* screen = openErase(main);
        QVERIFY(!screen->checkBox()->selection());
        QVERIFY(main.sheet()->isMiddleDisabled());
        QCOMPARE(screen->checkBox()->title(), DeleteButtonView::consentText());

        QTest::mouseClick(screen->checkBox(), Qt::LeftButton);
        QVERIFY(screen->checkBox()->selection());
        QVERIFY(!main.sheet()->isMiddleDisabled());
        QTest::mouseClick(screen->checkBox(), Qt::LeftButton);
        QVERIFY(main.sheet()->isMiddleDisabled());

        // Nothing is removed without the consent, whoever starts it.
        QSignalSpy started(screen, &DeleteButtonView::deletionStarted);
        main.context()->togglePerformAction();
        main.pressAction();
        QCOMPARE(started.count(), 0);
        QVERIFY(QFileInfo::exists(dataFolder()));
    }

    void warningShowsItsFirstSentenceBold()
    {
        MainScreen main;
        DeleteButtonView* screen = openErase(main);
        QTextDocument shown;
        shown.setHtml(screen->warningLabel()->text());
        QCOMPARE(shown.toPlainText(),
                 QStringLiteral("Achtung: Alle Daten und die Datenbank der App werden gelöscht.\n"
                                "Stelle vor dem Löschen sicher, dass du ein Backup der App "
                                "erstellt hast."));
        const QTextFragment first = shown.begin().begin().fragment();
        QCOMPARE(first.text(), QStringLiteral("Achtung: Alle Daten und die Datenbank der App werden gelöscht."));
        QVERIFY(first.charFormat().fontWeight() >= QFont::Bold);
    }

    // Data goes whole; the container and whatever links in Data point at stay.
    void erase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder") << "folder" << DeleteButtonView::successText();
        QTest::newRow("link to a folder elsewhere") << "link" << DeleteButtonView::successText();
        QTest::newRow("missing") << "missing" << DeleteButtonView::failureText();
    }

    void erase()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        if (kind == QLatin1String("folder")) {
            QVERIFY(QFile::link(m_outside, dataFolder() + QStringLiteral("/zum Ordner")));
        } else {
            QVERIFY(QDir(dataFolder()).removeRecursively());
            if (kind == QLatin1String("link"))
                QVERIFY(QFile::link(m_outside, dataFolder()));
        }
        MainScreen main;
        DeleteButtonView* screen = openErase(main);
        QTest::mouseClick(screen->checkBox(), Qt::LeftButton);
        std::optional<QString> progress;
        connect(screen, &DeleteButtonView::deletionStarted, this,
                [&progress, &main] { progress = main.context()->progressLoadText(); });
        main.pressAction();
        QTRY_COMPARE(progress, std::optional<QString>(DeleteButtonView::progressText()));
        QTRY_COMPARE(main.context()->messageText(), std::optional<QString>(message));
        // The sheet closes a moment after the result.
        QTRY_VERIFY(!main.view->backupActionType());
        QVERIFY(!main.context()->isWorking());
        QVERIFY(!QFileInfo(dataFolder()).exists() && !QFileInfo(dataFolder()).isSymLink());
        QVERIFY(QFileInfo(containerFolder()).isDir());
        QVERIFY(QFile::exists(m_outside + QStringLiteral("/bleibt.txt")));
    }
};

TARN_TEST_GUI_MAIN(TestEraseScreen)
#include "TestEraseScreen.moc"
