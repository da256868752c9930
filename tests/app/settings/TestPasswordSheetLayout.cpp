#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/inputs/TextFieldHelper.h"
#include "tests/app/settings/SettingsTestSupport.h"
#include "tests/support/TestMain.h"

#include <QLineEdit>

// The edit sheet as it opens: the first field takes the typing, and the fields and buttons keep clear
// of the sheet's edges.
class TestPasswordSheetLayout : public QObject
{
    Q_OBJECT

    PasswordTabFixture m_fixture;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.keyring.start()); }
    void cleanupTestCase()
    {
        m_fixture.close();
        m_fixture.keyring.stop();
    }
    void init() { QVERIFY(m_fixture.reset()); }
    void cleanup() { m_fixture.close(); }

    void opensReadyForTyping_data()
    {
        QTest::addColumn<bool>("archive");
        QTest::newRow("app password") << false;
        QTest::newRow("archive password") << true;
    }
    void opensReadyForTyping()
    {
        QFETCH(bool, archive);
        PasswordView* view = m_fixture.makeTab(archive ? m_fixture.archive : m_fixture.app);
        QVERIFY(QTest::qWaitForWindowExposed(m_fixture.window.get()));
        QTRY_VERIFY(SettingsTest::settled(view));
        QTest::mouseClick(view->changeButton(), Qt::LeftButton);
        PasswordEditSheet* sheet = view->editSheet();
        QVERIFY(sheet);
        QTRY_COMPARE(QApplication::focusWidget(), sheet->passwordField()->input());

        // Typing goes into the first field at once.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abc"));
        QCOMPARE(sheet->passwordField()->input()->text(), QStringLiteral("abc"));

        for (TextFieldHelper* field : {sheet->passwordField(), sheet->confirmationField()}) {
            const QRect rect(field->mapTo(sheet, QPoint(0, 0)), field->size());
            QVERIFY2(rect.left() >= 20 && sheet->width() - 1 - rect.right() >= 20,
                     qPrintable(QStringLiteral("field from %1 to %2 in a sheet %3 wide")
                                    .arg(rect.left())
                                    .arg(rect.right())
                                    .arg(sheet->width())));
        }
        const QRect button(sheet->middleButton()->mapTo(sheet, QPoint(0, 0)), sheet->middleButton()->size());
        QVERIFY2(
            sheet->height() - 1 - button.bottom() >= 10,
            qPrintable(
                QStringLiteral("button ends %1 px above the sheet's edge").arg(sheet->height() - 1 - button.bottom())));
    }
};

TARN_TEST_GUI_MAIN(TestPasswordSheetLayout)
#include "TestPasswordSheetLayout.moc"
