#include "app/settings/PathView.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/PathViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/inputs/TextViewHelper.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

// The backup-folder tab with its folder chooser, on real folders of the test's home.
class TestPathView : public QObject
{
    Q_OBJECT

    QString m_first;
    QString m_second;

    static QString folder(const QString& relative) { return QDir::homePath() + QLatin1Char('/') + relative; }
    static QString storedPath() { return QSettings().value(PathViewModel::savedPathKey()).toString(); }

    // The tab's rows: folder name, path and the path's link.
    static void compareRows(PathView* view, const QString& name, const QString& path)
    {
        QCOMPARE(view->folderView()->text(), std::optional(name));
        QCOMPARE(view->folderView()->url(), std::nullopt);
        QCOMPARE(view->pathView()->text(), std::optional(path));
        QCOMPARE(view->pathView()->url(),
                 path == QLatin1String("-") ? std::nullopt : std::optional(QUrl::fromLocalFile(path)));
    }

    static QFileDialog* openChooser(PathView* view)
    {
        QTest::mouseClick(view->chooseButton(), Qt::LeftButton);
        return view->folderChooser();
    }

    // Picks a folder in the chooser and confirms it.
    static void pick(QFileDialog* chooser, const QString& path)
    {
        chooser->setDirectory(QFileInfo(path).path());
        chooser->selectFile(path);
        QPushButton* accept = nullptr;
        for (QPushButton* button : chooser->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Auswählen")) {
                accept = button;
            }
        }
        QVERIFY(accept);
        QTest::mouseClick(accept, Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_first = folder(QStringLiteral("Sicherungen/Erste"));
        m_second = folder(QStringLiteral("Andere Sicherung/Zweite Ä"));
        QVERIFY(QDir().mkpath(m_first));
        QVERIFY(QDir().mkpath(m_second));
        QVERIFY(QDir().mkpath(folder(QStringLiteral("Library/Containers/de.orlwen/Data"))));
    }

    void init() { QSettings().remove(PathViewModel::savedPathKey()); }

    void withoutFolderTheChooserStartsAtHome()
    {
        PathView view;
        view.show();
        compareRows(&view, QStringLiteral("-"), QStringLiteral("-"));
        QFileDialog* chooser = openChooser(&view);
        QVERIFY(chooser);
        QVERIFY(chooser->isVisible());
        QVERIFY(!chooser->isModal());
        QCOMPARE(chooser->windowTitle(), QStringLiteral("Wählen Sie einen Ordner zum Speichern von Dateien aus"));
        QCOMPARE(chooser->labelText(QFileDialog::Accept), QStringLiteral("Auswählen"));
        QCOMPARE(chooser->labelText(QFileDialog::Reject), QStringLiteral("Abbrechen"));
        QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
        QCOMPARE(chooser->viewMode(), QFileDialog::List);
        QVERIFY(chooser->testOption(QFileDialog::ShowDirsOnly));
        QVERIFY(!chooser->testOption(QFileDialog::ReadOnly));
        QCOMPARE(chooser->directory().absolutePath(), QDir::homePath());
        // A second click brings the open chooser forward instead of making another.
        QCOMPARE(openChooser(&view), chooser);
        chooser->reject();
        QTRY_VERIFY(!view.folderChooser());
        QCOMPARE(storedPath(), QString());
        compareRows(&view, QStringLiteral("-"), QStringLiteral("-"));
    }

    void chosenFolderIsShownAndStored()
    {
        QSettings().setValue(PathViewModel::savedPathKey(), m_first);
        PathView view;
        view.show();
        compareRows(&view, QStringLiteral("Erste"), m_first);
        QFileDialog* chooser = openChooser(&view);
        QVERIFY(chooser);
        QCOMPARE(chooser->directory().absolutePath(), m_first);

        pick(chooser, m_second);
        QTRY_COMPARE(storedPath(), m_second);
        compareRows(&view, QStringLiteral("Zweite Ä"), m_second);
        QTRY_VERIFY(!view.folderChooser());

        PathView reopened;
        compareRows(&reopened, QStringLiteral("Zweite Ä"), m_second);
    }

    void cancelKeepsTheFolder()
    {
        QSettings().setValue(PathViewModel::savedPathKey(), m_first);
        PathView view;
        view.show();
        QFileDialog* chooser = openChooser(&view);
        QVERIFY(chooser);
        chooser->setDirectory(QFileInfo(m_second).path());
        chooser->selectFile(m_second);
        chooser->reject();
        compareRows(&view, QStringLiteral("Erste"), m_first);
        QCOMPARE(storedPath(), m_first);
    }

    void folderOfTheSiblingAppIsRefused_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("the container") << "Library/Containers/de.orlwen";
        QTest::newRow("its data folder") << "Library/Containers/de.orlwen/Data";
        QTest::newRow("a folder containing it") << "Library";
    }

    void folderOfTheSiblingAppIsRefused()
    {
        QFETCH(QString, relative);
        QSettings().setValue(PathViewModel::savedPathKey(), m_first);
        PathView view;
        view.show();
        QFileDialog* chooser = openChooser(&view);
        QVERIFY(chooser);
        pick(chooser, folder(relative));
        QTRY_VERIFY(view.refusalAlert());
        auto* alert = qobject_cast<AlertCommon*>(view.refusalAlert()->card());
        QVERIFY(alert);
        QCOMPARE(alert->titleLabel()->text(), QStringLiteral("Fehler"));
        QCOMPARE(qobject_cast<QLabel*>(alert->content())->text(), ContainerGuard::refusalText());
        QCOMPARE(storedPath(), m_first);
        compareRows(&view, QStringLiteral("Erste"), m_first);
    }
};

TARN_TEST_GUI_MAIN(TestPathView)
#include "TestPathView.moc"
