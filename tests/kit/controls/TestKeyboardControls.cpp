#include "kit/controls/RestoreButtonView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A drawn control in a window, behind a line edit that has the focus first, and what it counts.
struct Scene
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QLineEdit* before = nullptr;
    QWidget* control = nullptr;
    int runs = 0;

    QWidget* focused() const { return QApplication::focusWidget(); }
};

// Each kind of control, with its action counting into runs.
void build(Scene& scene, const QString& kind, bool disabled)
{
    QWidget* window = scene.window.get();
    auto* layout = new QVBoxLayout(window);
    scene.before = new QLineEdit(window);
    layout->addWidget(scene.before);
    int* runs = &scene.runs;
    if (kind == u"button") {
        TrendyButtonHelper::Fields fields;
        fields.text = u"Speichern"_s;
        fields.textColor = TarnColor::controlBackgroundColor();
        fields.font = TarnFont::roboto_bold14;
        fields.isDisabled = disabled;
        fields.callback = [runs] { ++*runs; };
        scene.control = new TrendyButtonHelper(std::move(fields), window);
    } else if (kind == u"menu row") {
        scene.control = new RestoreButtonView(
            u"trash"_s, u"Löschen"_s, u"Alle App-Daten löschen"_s, std::nullopt,
            disabled ? std::function<void()>() : [runs] { ++*runs; }, window);
    } else if (kind == u"check box") {
        auto* box = new CheckBoxHelper(u"Einverstanden"_s, 15, false, std::nullopt, window);
        QObject::connect(box, &CheckBoxHelper::toggled, window, [runs] { ++*runs; });
        scene.control = box;
    } else if (kind == u"field button") {
        auto* button = new TextFieldButtonHelper(
            u"eye"_s, std::nullopt, TarnColor::secondary(), 20, [runs] { ++*runs; }, window);
        button->setEnabled(!disabled);
        scene.control = button;
    } else if (kind == u"folder link") {
        const QString folder = QDir::homePath();
        auto* link = new TextViewHelper(u"Pfad"_s, disabled ? std::nullopt : std::optional<QString>(folder),
                                        disabled ? std::nullopt : std::optional<QUrl>(QUrl::fromLocalFile(folder)),
                                        TarnColor::blue(), window);
        TextViewHelper::setFolderOpener([runs](const QUrl&) { ++*runs; });
        scene.control = link;
    }
    layout->addWidget(scene.control, 0, Qt::AlignLeft);
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("window not active");
    scene.before->setFocus(Qt::OtherFocusReason);
}

QImage picture(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The kit's drawn controls from the keyboard: Tab reaches each enabled one, a mark shows where the
// focus is, and the key a desktop user expects runs it.
class TestKeyboardControls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }
    void cleanup() { TextViewHelper::setFolderOpener({}); }

    void tabReachesAndKeysRun_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("key");
        QTest::newRow("button, Space") << u"button"_s << int(Qt::Key_Space);
        QTest::newRow("button, Return") << u"button"_s << int(Qt::Key_Return);
        QTest::newRow("button, Enter") << u"button"_s << int(Qt::Key_Enter);
        QTest::newRow("menu row, Return") << u"menu row"_s << int(Qt::Key_Return);
        QTest::newRow("menu row, Space") << u"menu row"_s << int(Qt::Key_Space);
        QTest::newRow("check box, Space") << u"check box"_s << int(Qt::Key_Space);
        QTest::newRow("field button, Space") << u"field button"_s << int(Qt::Key_Space);
        QTest::newRow("folder link, Return") << u"folder link"_s << int(Qt::Key_Return);
        QTest::newRow("folder link, Space") << u"folder link"_s << int(Qt::Key_Space);
    }

    void tabReachesAndKeysRun()
    {
        QFETCH(QString, kind);
        QFETCH(int, key);
        Scene scene;
        build(scene, kind, false);
        QCOMPARE(scene.focused(), scene.before);
        const QImage unfocused = picture(scene.control);

        QTest::keyClick(scene.focused(), Qt::Key_Tab);
        QCOMPARE(scene.focused(), scene.control);
        QVERIFY2(picture(scene.control) != unfocused, "the focused control looks focused");

        QTest::keyClick(scene.focused(), Qt::Key(key));
        // A folder link looks at its folder off the GUI thread first.
        QTRY_COMPARE(scene.runs, 1);
        // Backtab goes back the way it came.
        QTest::keyClick(scene.focused(), Qt::Key_Backtab);
        QCOMPARE(scene.focused(), scene.before);
        QVERIFY(!scene.control->hasFocus());
    }

    // A control that can do nothing is no stop for Tab.
    void tabPassesWhatCannotRun_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("disabled button") << u"button"_s;
        QTest::newRow("menu row without action") << u"menu row"_s;
        QTest::newRow("disabled field button") << u"field button"_s;
        QTest::newRow("folder text without link") << u"folder link"_s;
    }

    void tabPassesWhatCannotRun()
    {
        QFETCH(QString, kind);
        Scene scene;
        build(scene, kind, true);
        QTest::keyClick(scene.focused(), Qt::Key_Tab);
        QVERIFY(scene.focused() != scene.control);
        scene.control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(scene.control, Qt::Key_Space);
        QTest::keyClick(scene.control, Qt::Key_Return);
        QCOMPARE(scene.runs, 0);
    }

    // A button that becomes disabled leaves the Tab order and comes back when enabled again.
    void disabledButtonLeavesTheOrder()
    {
        Scene scene;
        build(scene, u"button"_s, false);
        auto* button = static_cast<TrendyButtonHelper*>(scene.control);
        button->setIsDisabled(true);
        QTest::keyClick(scene.focused(), Qt::Key_Tab);
        QVERIFY(scene.focused() != button);
        button->setIsDisabled(false);
        scene.before->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(scene.focused(), Qt::Key_Tab);
        QCOMPARE(scene.focused(), button);
    }

    // A click leaves the keyboard focus where it was, as on the desktop.
    void clickKeepsTheFocus()
    {
        Scene scene;
        build(scene, u"button"_s, false);
        QTest::mouseClick(scene.control, Qt::LeftButton);
        QCOMPARE(scene.runs, 1);
        QCOMPARE(scene.focused(), scene.before);
    }

    // A held Space shows the press and runs the button once, on release.
    void spaceRunsOnRelease()
    {
        Scene scene;
        build(scene, u"button"_s, false);
        auto* button = static_cast<TrendyButtonHelper*>(scene.control);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyPress(button, Qt::Key_Space);
        QVERIFY(button->isPressed());
        QCOMPARE(scene.runs, 0);
        QTest::keyRelease(button, Qt::Key_Space);
        QVERIFY(!button->isPressed());
        QCOMPARE(scene.runs, 1);
    }
};

TARN_TEST_GUI_MAIN(TestKeyboardControls)
#include "TestKeyboardControls.moc"
