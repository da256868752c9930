#include "app/updates/AccessoryBarButton.h"
#include "kit/controls/PressableView.h"
#include "kit/controls/RestoreButtonView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// One drawn button in a window, after a line edit that has the focus first, and how often it ran.
struct Scene
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QLineEdit* before = nullptr;
    PressableView* button = nullptr;
    int runs = 0;
};

void build(Scene& scene, const QString& kind)
{
    QWidget* window = scene.window.get();
    window->setMinimumSize(640, 120);
    auto* layout = new QHBoxLayout(window);
    scene.before = new QLineEdit(window);
    layout->addWidget(scene.before);
    int* runs = &scene.runs;
    if (kind == u"TrendyButtonHelper") {
        TrendyButtonHelper::Fields fields;
        fields.text = u"Speichern"_s;
        fields.textColor = TarnColor::controlBackgroundColor();
        fields.font = TarnFont::roboto_bold14;
        fields.callback = [runs] { ++*runs; };
        scene.button = new TrendyButtonHelper(std::move(fields), window);
    } else if (kind == u"RestoreButtonView") {
        scene.button = new RestoreButtonView(
            u"trash"_s, u"Löschen"_s, u"Alle App-Daten löschen"_s, std::nullopt, [runs] { ++*runs; }, window);
    } else if (kind == u"CheckBoxHelper") {
        auto* box = new CheckBoxHelper(u"Einverstanden"_s, 15, false, std::nullopt, window);
        box->setLockInterval(0);
        QObject::connect(box, &CheckBoxHelper::toggled, window, [runs] { ++*runs; });
        scene.button = box;
    } else if (kind == u"AccessoryBarButton") {
        auto* bar = new AccessoryBarButton(window);
        bar->setText(u"Version 1.0"_s);
        QObject::connect(bar, &AccessoryBarButton::clicked, window, [runs] { ++*runs; });
        scene.button = bar;
    }
    layout->addWidget(scene.button, 0, Qt::AlignLeft);
    layout->addStretch();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("window not active");
    scene.before->setFocus(Qt::OtherFocusReason);
}

QPoint centre(QWidget* widget)
{
    return widget->rect().center();
}

// Right of the button, still in its window.
QPoint outside(QWidget* widget)
{
    return QPoint(widget->width() + 20, widget->height() / 2);
}

void sendKey(QWidget* widget, QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers = {},
             bool autoRepeat = false)
{
    QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(widget, &event);
}

void addKinds()
{
    QTest::addColumn<QString>("kind");
    // Return and Enter run every button but the check box: in a dialog they belong to its default action.
    QTest::addColumn<bool>("returnRuns");
    // What the painting shows of hovering and pressing.
    QTest::addColumn<bool>("showsHover");
    QTest::addColumn<bool>("showsPress");
    QTest::newRow("TrendyButtonHelper") << u"TrendyButtonHelper"_s << true << true << true;
    QTest::newRow("RestoreButtonView") << u"RestoreButtonView"_s << true << true << false;
    QTest::newRow("AccessoryBarButton") << u"AccessoryBarButton"_s << true << true << true;
    QTest::newRow("CheckBoxHelper") << u"CheckBoxHelper"_s << false << false << false;
}

} // namespace

// The four drawn buttons take the mouse and the keyboard the same way.
class TestPressableButtons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }

    void mouse_data() { addKinds(); }

    // Pressed while the left button is down on it; released inside runs it, released outside does not,
    // and a click leaves the keyboard focus where it was.
    void mouse()
    {
        QFETCH(QString, kind);
        Scene scene;
        build(scene, kind);
        PressableView* button = scene.button;
        QSignalSpy clicked(button, &PressableView::clicked);

        QTest::mousePress(button, Qt::LeftButton, {}, centre(button));
        QVERIFY(button->isPressed());
        QCOMPARE(scene.runs, 0);
        QTest::mouseRelease(button, Qt::LeftButton, {}, centre(button));
        QVERIFY(!button->isPressed());
        QCOMPARE(scene.runs, 1);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(QApplication::focusWidget(), scene.before);

        QTest::mousePress(button, Qt::LeftButton, {}, centre(button));
        QVERIFY(button->isPressed());
        QTest::mouseRelease(button, Qt::LeftButton, {}, outside(button));
        QVERIFY(!button->isPressed());
        QCOMPARE(scene.runs, 1);

        QTest::mouseClick(button, Qt::RightButton, {}, centre(button));
        QVERIFY(!button->isPressed());
        QCOMPARE(scene.runs, 1);
        QCOMPARE(clicked.count(), 1);
    }

    void hover_data() { addKinds(); }

    // The pointer over it hovers it, and leaving ends the hover.
    void hover()
    {
        QFETCH(QString, kind);
        Scene scene;
        build(scene, kind);
        PressableView* button = scene.button;
        QSignalSpy hovered(button, &PressableView::hoveredChanged);
        QTest::mouseMove(scene.before, centre(scene.before));
        QVERIFY(!button->isHovered());
        QTest::mouseMove(button, centre(button));
        QTRY_VERIFY(button->isHovered());
        QTest::mouseMove(scene.before, centre(scene.before));
        QTRY_VERIFY(!button->isHovered());
        QCOMPARE(hovered.count(), 2);
        QCOMPARE(scene.runs, 0);
    }

    void keys_data() { addKinds(); }

    // Tab reaches it; a held Space shows the press and runs it once, on release, however long it is held;
    // Return and Enter run it at once; with a modifier held, no key runs it.
    void keys()
    {
        QFETCH(QString, kind);
        QFETCH(bool, returnRuns);
        Scene scene;
        build(scene, kind);
        PressableView* button = scene.button;
        QTest::keyClick(scene.before, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button);

        sendKey(button, QEvent::KeyPress, Qt::Key_Space);
        QVERIFY(button->isPressed());
        sendKey(button, QEvent::KeyRelease, Qt::Key_Space, {}, true);
        sendKey(button, QEvent::KeyPress, Qt::Key_Space, {}, true);
        sendKey(button, QEvent::KeyRelease, Qt::Key_Space, {}, true);
        sendKey(button, QEvent::KeyPress, Qt::Key_Space, {}, true);
        QVERIFY(button->isPressed());
        QCOMPARE(scene.runs, 0);
        sendKey(button, QEvent::KeyRelease, Qt::Key_Space);
        QVERIFY(!button->isPressed());
        QCOMPARE(scene.runs, 1);

        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(scene.runs, returnRuns ? 2 : 1);
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(scene.runs, returnRuns ? 3 : 1);
        const int before = scene.runs;

        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(button, key, Qt::ControlModifier);
            QTest::keyClick(button, key, Qt::ShiftModifier);
        }
        QVERIFY(!button->isPressed());
        QCOMPARE(scene.runs, before);
        QCOMPARE(QApplication::focusWidget(), button);
    }

    void focusLossDropsThePress_data() { addKinds(); }

    // A Space held while the focus leaves runs nothing, not even when it is let go.
    void focusLossDropsThePress()
    {
        QFETCH(QString, kind);
        Scene scene;
        build(scene, kind);
        PressableView* button = scene.button;
        button->setFocus(Qt::TabFocusReason);
        sendKey(button, QEvent::KeyPress, Qt::Key_Space);
        QVERIFY(button->isPressed());
        scene.before->setFocus(Qt::TabFocusReason);
        QVERIFY(!button->isPressed());
        sendKey(button, QEvent::KeyRelease, Qt::Key_Space);
        QCOMPARE(scene.runs, 0);
    }

    void disabled_data() { addKinds(); }

    // A disabled button is no stop for Tab, drops a press it had, and nothing runs it.
    void disabled()
    {
        QFETCH(QString, kind);
        Scene scene;
        build(scene, kind);
        PressableView* button = scene.button;
        QTest::mousePress(button, Qt::LeftButton, {}, centre(button));
        QVERIFY(button->isPressed());
        button->setEnabled(false);
        QVERIFY(!button->isPressed());
        QTest::mouseRelease(button, Qt::LeftButton, {}, centre(button));
        QTest::mouseClick(button, Qt::LeftButton, {}, centre(button));
        button->click();
        QTest::keyClick(scene.before, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != button);
        QCOMPARE(scene.runs, 0);

        button->setEnabled(true);
        scene.before->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(scene.before, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button);
        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(scene.runs, 1);
    }

    void looks_data() { addKinds(); }

    // Hovered, pressed and focused each show; with TARN_BUTTON_SHOTS set the pictures are kept there.
    void looks()
    {
        QFETCH(QString, kind);
        QFETCH(bool, showsHover);
        QFETCH(bool, showsPress);
        Scene scene;
        build(scene, kind);
        PressableView* button = scene.button;
        const auto picture = [button] { return button->grab().toImage(); };
        const QImage rest = picture();
        button->setHovered(true);
        const QImage hovered = picture();
        button->setPressed(true);
        const QImage pressed = picture();
        button->setPressed(false);
        button->setHovered(false);
        QCOMPARE(picture(), rest);
        QTest::keyClick(scene.before, Qt::Key_Tab);
        const QImage focused = picture();
        QVERIFY(focused != rest);
        QCOMPARE(hovered != rest, showsHover);
        QCOMPARE(pressed != hovered, showsPress);
        const QString folder = qEnvironmentVariable("TARN_BUTTON_SHOTS");
        if (!folder.isEmpty()) {
            QVERIFY(QDir().mkpath(folder));
            const QList<std::pair<QString, QImage>> shots{
                {u"rest"_s, rest}, {u"hovered"_s, hovered}, {u"pressed"_s, pressed}, {u"focused"_s, focused}};
            for (const auto& [state, image] : shots)
                QVERIFY(image.save(QDir(folder).filePath(kind + u"-"_s + state + u".png"_s)));
        }
    }
};

TARN_TEST_GUI_MAIN(TestPressableButtons)
#include "TestPressableButtons.moc"
