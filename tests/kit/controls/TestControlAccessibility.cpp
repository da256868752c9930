#include "kit/controls/RestoreButtonView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/TextFieldButtonHelper.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

TrendyButtonHelper* button(const std::optional<QString>& text, bool disabled, int* runs)
{
    TrendyButtonHelper::Fields fields;
    fields.text = text;
    fields.textColor = TarnColor::controlBackgroundColor();
    fields.isDisabled = disabled;
    fields.callback = [runs] { ++*runs; };
    return new TrendyButtonHelper(std::move(fields));
}

} // namespace

// What a screen reader learns of the kit's drawn controls through the accessibility interfaces: the
// role, the visible text as the name, the state, and the action that does what a click does.
class TestControlAccessibility : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    std::optional<QString> m_warning;
    int m_runs = 0;

    // The control of a kind, shown in a window.
    QWidget* make(const QString& kind)
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        QWidget* widget = nullptr;
        if (kind == u"button") {
            widget = button(u"Wiederherstellen"_s, false, &m_runs);
        } else if (kind == u"symbol button") {
            widget = button(std::nullopt, false, &m_runs);
            widget->setToolTip(u"Bearbeiten"_s);
        } else if (kind == u"named button") {
            widget = button(std::nullopt, false, &m_runs);
            widget->setAccessibleName(u"delete"_s);
        } else if (kind == u"disabled button") {
            widget = button(u"Erstellen"_s, true, &m_runs);
        } else if (kind == u"menu row") {
            widget =
                new RestoreButtonView(u"tray.and.arrow.up"_s, u"Wiederherstellen"_s,
                                      u"Backup wiederherstellen oder bearbeiten"_s, std::nullopt, [this] { ++m_runs; });
        } else if (kind == u"check box" || kind == u"ticked check box") {
            auto* box = new CheckBoxHelper(u"Vor dem Löschen bestätige, dass du einverstanden bist."_s, 15,
                                           kind == u"ticked check box", std::nullopt);
            connect(box, &CheckBoxHelper::toggled, this, [this] { ++m_runs; });
            widget = box;
        } else if (kind == u"label") {
            widget = new ElidedLabel(u"Kommentar zum Backup"_s, 2);
        } else if (kind == u"warning band") {
            m_warning = u"Die verschlüsselte Datei wurde nicht gefunden."_s;
            widget = new WarningTextHelper(Binding<std::optional<QString>>::to(&m_warning), Qt::red);
        } else if (kind == u"folder link") {
            TextViewHelper::setFolderOpener([this](const QUrl&) { ++m_runs; });
            widget = new TextViewHelper(u"Speicherort"_s, QDir::homePath(), QUrl::fromLocalFile(QDir::homePath()),
                                        TarnColor::blue());
        } else if (kind == u"folder hint") {
            auto* view = new TextViewHelper(u"Speicherort"_s, std::nullopt, std::nullopt, TarnColor::blue());
            view->setPlaceholder(u"Kein Speicherort gewählt"_s, TarnColor::red());
            widget = view;
        } else if (kind == u"alert") {
            widget = new AlertCommon(u"Entfernen bestätigen"_s, AlertCommon::messageText(u"24.12.2024"_s), {},
                                     AlertCustomType::trash, std::nullopt, std::nullopt);
        } else if (kind == u"sheet") {
            BlurredSheetContentHelper::Fields fields;
            fields.header = new QLabel(u"Kommentar bearbeiten"_s);
            fields.textMiddle = [] { return u"Speichern"_s; };
            widget = new BlurredSheetContentHelper(std::move(fields));
        }
        layout->addWidget(widget);
        m_window->show();
        return widget;
    }

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }

    void cleanup()
    {
        m_window.reset();
        m_runs = 0;
        TextViewHelper::setFolderOpener({});
    }

    void rolesNamesAndActions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("action"); // empty: none of its own
        QTest::addColumn<bool>("checked");
        const auto press = QAccessibleActionInterface::pressAction();
        const auto toggle = QAccessibleActionInterface::toggleAction();
        QTest::newRow("button") << u"button"_s << int(QAccessible::Button) << u"Wiederherstellen"_s << press << false;
        QTest::newRow("symbol button: its tooltip")
            << u"symbol button"_s << int(QAccessible::Button) << u"Bearbeiten"_s << press << false;
        QTest::newRow("symbol button: the name it was given")
            << u"named button"_s << int(QAccessible::Button) << u"delete"_s << press << false;
        QTest::newRow("disabled button") << u"disabled button"_s << int(QAccessible::Button) << u"Erstellen"_s
                                         << QString() << false;
        QTest::newRow("menu row") << u"menu row"_s << int(QAccessible::Button) << u"Wiederherstellen"_s << press
                                  << false;
        QTest::newRow("check box") << u"check box"_s << int(QAccessible::CheckBox)
                                   << u"Vor dem Löschen bestätige, dass du einverstanden bist."_s << toggle << false;
        QTest::newRow("ticked check box")
            << u"ticked check box"_s << int(QAccessible::CheckBox)
            << u"Vor dem Löschen bestätige, dass du einverstanden bist."_s << toggle << true;
        QTest::newRow("label") << u"label"_s << int(QAccessible::StaticText) << u"Kommentar zum Backup"_s << QString()
                               << false;
        QTest::newRow("warning band") << u"warning band"_s << int(QAccessible::StaticText)
                                      << u"Die verschlüsselte Datei wurde nicht gefunden."_s << QString() << false;
        QTest::newRow("folder link") << u"folder link"_s << int(QAccessible::Link) << QDir::homePath() << press
                                     << false;
        QTest::newRow("folder hint") << u"folder hint"_s << int(QAccessible::StaticText)
                                     << u"Kein Speicherort gewählt"_s << QString() << false;
        QTest::newRow("alert") << u"alert"_s << int(QAccessible::AlertMessage) << u"Entfernen bestätigen"_s << QString()
                               << false;
        QTest::newRow("sheet") << u"sheet"_s << int(QAccessible::Dialog) << u"Kommentar bearbeiten"_s << QString()
                               << false;
    }

    void rolesNamesAndActions()
    {
        QFETCH(QString, kind);
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(QString, action);
        QFETCH(bool, checked);
        QWidget* widget = make(kind);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(iface);
        QCOMPARE(int(iface->role()), role);
        QCOMPARE(iface->text(QAccessible::Name), name);
        QCOMPARE(bool(iface->state().checked), checked);
        QCOMPARE(bool(iface->state().checkable), role == int(QAccessible::CheckBox));
        QCOMPARE(bool(iface->state().disabled), kind == u"disabled button");

        QAccessibleActionInterface* actions = iface->actionInterface();
        QVERIFY(actions);
        if (action.isEmpty()) {
            QVERIFY(!actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
            QVERIFY(!actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            return;
        }
        QVERIFY2(actions->actionNames().contains(action), qPrintable(actions->actionNames().join(u", ")));
        actions->doAction(action);
        // A folder link looks at its folder off the GUI thread first.
        QTRY_COMPARE(m_runs, 1);
        if (role == int(QAccessible::CheckBox))
            QCOMPARE(bool(iface->state().checked), !checked);
    }

    // A row's subtitle is its description; a disabled button offers nothing to press and does nothing.
    void descriptionsAndDisabled()
    {
        QAccessibleInterface* row = QAccessible::queryAccessibleInterface(make(u"menu row"_s));
        QCOMPARE(row->text(QAccessible::Description), u"Backup wiederherstellen oder bearbeiten"_s);

        QWidget* disabled = make(u"disabled button"_s);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(disabled);
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(m_runs, 0);
        QVERIFY(!iface->state().focusable);
        static_cast<TrendyButtonHelper*>(disabled)->setIsDisabled(false);
        QVERIFY(iface->state().focusable);
        QVERIFY(!iface->state().disabled);
    }

    // The warning band's name follows the message it shows.
    void warningNameFollowsTheMessage()
    {
        auto* band = static_cast<WarningTextHelper*>(make(u"warning band"_s));
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(band);
        band->setWarningText(u"Schlüsselbund: The keyring is locked."_s);
        QCOMPARE(iface->text(QAccessible::Name), u"Schlüsselbund: The keyring is locked."_s);
    }

    // The inputs are named by their captions, so that a reader says what goes where.
    void inputsAreNamed()
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        QString text;
        auto* editor = new TextEditorHelper(QString(), u"Kommentar zum Backup (optional)"_s, TarnFont::roboto_regular14,
                                            TarnFont::roboto_regular12, 70, 70, 300, 0, Binding<QString>::to(&text));
        auto* field =
            new TextFieldHelper(QString(), u"Passwort bestätigen"_s, Binding<QString>::to(&text), true,
                                Binding<bool>::state(true), Binding<bool>::constant(true), ConnectionType::password);
        layout->addWidget(editor);
        layout->addWidget(field);
        m_window->show();
        QCOMPARE(QAccessible::queryAccessibleInterface(editor->editor())->text(QAccessible::Name),
                 u"Kommentar zum Backup (optional)"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(field->input())->text(QAccessible::Name),
                 u"Passwort bestätigen"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(field->showHideButton())->text(QAccessible::Name),
                 u"Passwort anzeigen"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(field->clearButton())->text(QAccessible::Name),
                 u"Eingabe löschen"_s);
        QTest::keyClicks(field->input(), u"Geheim42"_s);
        QTest::mouseClick(field->showHideButton(), Qt::LeftButton);
        QCOMPARE(QAccessible::queryAccessibleInterface(field->showHideButton())->text(QAccessible::Name),
                 u"Passwort verbergen"_s);
    }
};

TARN_TEST_GUI_MAIN(TestControlAccessibility)
#include "TestControlAccessibility.moc"
