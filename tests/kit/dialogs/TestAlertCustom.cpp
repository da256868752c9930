#include "kit/controls/SymbolView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

using Button = AlertCustomButton<QString>;

// What the buttons' actions received.
struct Calls
{
    QStringList log;
};

Button button(const QString& title, Calls* calls, bool isDefault = false)
{
    Button b;
    b.title = title;
    b.bgColor = TarnColor::accentColor();
    b.isDefault = isDefault;
    b.action = [calls, title](const std::optional<QString>& item) {
        calls->log << title + QStringLiteral(":action:") + item.value_or(QStringLiteral("<none>"));
    };
    b.actionForArray = [calls, title](const std::optional<QList<QString>>& list) {
        calls->log << title + QStringLiteral(":array:") + list.value_or(QList<QString>{}).join(QLatin1Char(','));
    };
    return b;
}

// A window with the host of the alerts and an ordinary button beside it.
struct Window
{
    QWidget window;
    QWidget* host = nullptr;
    QPushButton* other = nullptr;
    int otherClicks = 0;

    Window()
    {
        window.resize(700, 500);
        auto* layout = new QVBoxLayout(&window);
        host = new QWidget(&window);
        other = new QPushButton(QStringLiteral("other"), &window);
        layout->addWidget(host);
        layout->addWidget(other);
        QObject::connect(other, &QPushButton::clicked, [this] { ++otherClicks; });
        window.show();
    }
};

AlertCommon* cardOf(SheetOverlay* overlay)
{
    return overlay ? qobject_cast<AlertCommon*>(overlay->card()) : nullptr;
}

} // namespace

class TestAlertCustom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }

    // A click routes to action with the selected item, else to actionForArray with a non-empty list,
    // else to action with nothing; the message gets the selected item, else the list's first element.
    void routing_data()
    {
        QTest::addColumn<std::optional<QString>>("selected");
        QTest::addColumn<std::optional<QList<QString>>>("items");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("call");
        using Items = std::optional<QList<QString>>;
        QTest::newRow("item") << std::optional<QString>(QStringLiteral("a")) << Items() << "a"
                              << "OK:action:a";
        QTest::newRow("item and list") << std::optional<QString>(QStringLiteral("a"))
                                       << Items(QList<QString>{QStringLiteral("x"), QStringLiteral("y")}) << "a"
                                       << "OK:action:a";
        QTest::newRow("list") << std::optional<QString>()
                              << Items(QList<QString>{QStringLiteral("x"), QStringLiteral("y")}) << "x"
                              << "OK:array:x,y";
        QTest::newRow("empty list") << std::optional<QString>() << Items(QList<QString>{}) << "<none>"
                                    << "OK:action:<none>";
        QTest::newRow("none") << std::optional<QString>() << Items() << "<none>"
                              << "OK:action:<none>";
    }

    void routing()
    {
        QFETCH(std::optional<QString>, selected);
        QFETCH(std::optional<QList<QString>>, items);
        QFETCH(QString, message);
        QFETCH(QString, call);
        Window w;
        Calls calls;
        bool presented = true;
        QString messageItem;
        AlertCustomModifier<QString> modifier;
        modifier.isPresented = Binding<bool>::to(&presented);
        modifier.selectedItem = Binding<std::optional<QString>>::constant(selected);
        modifier.items = Binding<std::optional<QList<QString>>>::constant(items);
        modifier.title = QStringLiteral("Titel");
        modifier.message = [&messageItem](const std::optional<QString>& item) {
            messageItem = item.value_or(QStringLiteral("<none>"));
            return AlertCommon::messageText(messageItem);
        };
        modifier.buttons = {button(QStringLiteral("OK"), &calls)};
        SheetOverlay* overlay = modifier.present(w.host);
        QVERIFY(overlay);
        QCOMPARE(messageItem, message);
        QTest::mouseClick(cardOf(overlay)->buttonViews().first(), Qt::LeftButton);
        QCOMPARE(calls.log, QStringList{call});
        QVERIFY(!presented);
        QVERIFY(SheetOverlay::overlays(&w.window).isEmpty());
    }

    void notPresentedWhileFlagIsFalse()
    {
        Window w;
        bool presented = false;
        QVERIFY(!AlertCustom::alertCustom(w.host, Binding<bool>::to(&presented), QStringLiteral("T"), nullptr, {},
                                          AlertCustomType::info));
        std::optional<QString> item;
        QVERIFY(!AlertCustom::alertCustom<QString>(w.host, Binding<std::optional<QString>>::to(&item),
                                                   QStringLiteral("T"), nullptr, {}, AlertCustomType::info));
        QVERIFY(SheetOverlay::overlays(&w.window).isEmpty());
    }

    void itemFormClearsTheItem()
    {
        Window w;
        Calls calls;
        std::optional<QString> item = QStringLiteral("Backup_1.orlwen");
        SheetOverlay* overlay = AlertCustom::alertCustom<QString>(
            w.host, Binding<std::optional<QString>>::to(&item), QStringLiteral("Löschen"), nullptr,
            {button(QStringLiteral("Abbrechen"), &calls), button(QStringLiteral("Ja"), &calls)},
            AlertCustomType::trash);
        QTest::mouseClick(cardOf(overlay)->buttonViews().at(1), Qt::LeftButton);
        QCOMPARE(calls.log, QStringList{QStringLiteral("Ja:action:Backup_1.orlwen")});
        QVERIFY(!item);
    }

    void flagFormAlwaysPassesNothing()
    {
        Window w;
        bool presented = true;
        int calls = 0;
        AlertCustomButton<AlertNoItem> ok;
        ok.title = QStringLiteral("OK");
        ok.action = [&calls](const std::optional<AlertNoItem>& item) {
            QVERIFY(!item);
            ++calls;
        };
        SheetOverlay* overlay = AlertCustom::alertCustom(
            w.host, Binding<bool>::to(&presented), QStringLiteral("Fehler"),
            [] { return AlertCommon::messageText(QStringLiteral("Nachricht")); }, {ok}, AlertCustomType::warn);
        QTest::mouseClick(cardOf(overlay)->buttonViews().first(), Qt::LeftButton);
        QCOMPARE(calls, 1);
        QVERIFY(!presented);
    }

    void buttonWithoutActionsOnlyCloses()
    {
        Window w;
        bool presented = true;
        AlertCustomButton<AlertNoItem> close;
        close.title = QStringLiteral("Schließen");
        SheetOverlay* overlay = AlertCustom::alertCustom(w.host, Binding<bool>::to(&presented), QString(), nullptr,
                                                         {close}, AlertCustomType::info);
        QTest::mouseClick(cardOf(overlay)->buttonViews().first(), Qt::LeftButton);
        QVERIFY(!presented);
        QVERIFY(overlay->isDismissed());
    }

    // The card closes before the action runs, so an action may present the next alert.
    void actionMayPresentTheNextAlert()
    {
        Window w;
        std::optional<QString> item = QStringLiteral("first");
        SheetOverlay* second = nullptr;
        Button next;
        next.title = QStringLiteral("Weiter");
        next.action = [&](const std::optional<QString>&) {
            item = QStringLiteral("second");
            second = AlertCustom::alertCustom<QString>(w.host, Binding<std::optional<QString>>::to(&item),
                                                       QStringLiteral("Zweite"), nullptr, {}, AlertCustomType::info);
        };
        SheetOverlay* first =
            AlertCustom::alertCustom<QString>(w.host, Binding<std::optional<QString>>::to(&item),
                                              QStringLiteral("Erste"), nullptr, {next}, AlertCustomType::info);
        QTest::mouseClick(cardOf(first)->buttonViews().first(), Qt::LeftButton);
        QVERIFY(second);
        QCOMPARE(item, std::optional<QString>(QStringLiteral("second")));
        QCOMPARE(SheetOverlay::overlays(&w.window), QList<SheetOverlay*>{second});
        QTRY_VERIFY(SheetOverlay::overlays(&w.window).size() == 1 && !second->isDismissed());
    }

    void buttonLayout_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<int>("minWidth");
        QTest::newRow("none") << 0 << false << 0;
        QTest::newRow("one") << 1 << false << 106;
        QTest::newRow("two side by side") << 2 << false << 106;
        QTest::newRow("three stacked") << 3 << true << 272;
        QTest::newRow("four stacked") << 4 << true << 272;
    }

    void buttonLayout()
    {
        QFETCH(int, count);
        QFETCH(bool, vertical);
        QFETCH(int, minWidth);
        Window w;
        Calls calls;
        bool presented = true;
        QList<Button> buttons;
        for (int i = 0; i < count; ++i)
            buttons << button(QStringLiteral("B%1").arg(i), &calls);
        AlertCustomModifier<QString> modifier;
        modifier.isPresented = Binding<bool>::to(&presented);
        modifier.title = QStringLiteral("T");
        modifier.buttons = buttons;
        AlertCommon* card = cardOf(modifier.present(w.host));
        QCOMPARE(card->width(), 320);
        QCOMPARE(card->buttonOrientation(), vertical ? Qt::Vertical : Qt::Horizontal);
        const QList<TrendyButtonHelper*> views = card->buttonViews();
        QCOMPARE(views.size(), count);
        for (int i = 0; i < views.size(); ++i) {
            QVERIFY(views[i]->width() >= minWidth);
            QVERIFY(views[i]->geometry().right() <= card->width() - 24);
            QVERIFY(views[i]->geometry().left() >= 24);
            if (i > 0) {
                if (vertical) {
                    QVERIFY(views[i]->y() > views[i - 1]->geometry().bottom());
                    QCOMPARE(views[i]->x(), views[i - 1]->x());
                } else {
                    QVERIFY(views[i]->x() > views[i - 1]->geometry().right());
                    QCOMPARE(views[i]->y(), views[i - 1]->y());
                }
            }
        }
    }

    void returnRunsTheDefaultButton()
    {
        Window w;
        Calls calls;
        std::optional<QString> item = QStringLiteral("x");
        SheetOverlay* overlay = AlertCustom::alertCustom<QString>(
            w.host, Binding<std::optional<QString>>::to(&item), QStringLiteral("T"), nullptr,
            {button(QStringLiteral("Abbrechen"), &calls), button(QStringLiteral("OK"), &calls, true)},
            AlertCustomType::warn);
        AlertCommon* card = cardOf(overlay);
        QCOMPARE(w.window.focusWidget(), card);
        QTest::keyClick(card, Qt::Key_Return);
        QCOMPARE(calls.log, QStringList{QStringLiteral("OK:action:x")});
        QVERIFY(!item);
    }

    // Without a default button Return chooses nothing, unless the card has one button only.
    void returnWithoutDefault_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("two buttons") << QStringList{u"A"_s, u"B"_s} << QStringList{};
        QTest::newRow("a failure's only OK") << QStringList{u"OK"_s} << QStringList{u"OK:action:x"_s};
    }

    void returnWithoutDefault()
    {
        QFETCH(QStringList, titles);
        QFETCH(QStringList, calls);
        Window w;
        Calls log;
        std::optional<QString> item = QStringLiteral("x");
        QList<Button> buttons;
        for (const QString& title : titles)
            buttons << button(title, &log);
        SheetOverlay* overlay =
            AlertCustom::alertCustom<QString>(w.host, Binding<std::optional<QString>>::to(&item), QStringLiteral("T"),
                                              nullptr, buttons, AlertCustomType::warn);
        QTest::keyClick(cardOf(overlay), Qt::Key_Return);
        QCOMPARE(log.log, calls);
        QCOMPARE(overlay->isDismissed(), !calls.isEmpty());
        QCOMPARE(item.has_value(), calls.isEmpty());
    }

    // Escape does what the cancel button does: the only button, else the first that is not the default.
    void escapeRunsTheCancelButton_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("defaultIndex"); // -1: none
        QTest::addColumn<QString>("call");
        QTest::newRow("close question: Abbrechen, OK default")
            << QStringList{u"Abbrechen"_s, u"OK"_s} << 1 << u"Abbrechen:action:x"_s;
        QTest::newRow("update offer: Später, Herunterladen default")
            << QStringList{u"Später"_s, u"Herunterladen"_s} << 1 << u"Später:action:x"_s;
        QTest::newRow("downloaded: OK, Im Ordner zeigen default")
            << QStringList{u"OK"_s, u"Im Ordner zeigen"_s} << 1 << u"OK:action:x"_s;
        QTest::newRow("no default: the first") << QStringList{u"Abbrechen"_s, u"Ja"_s} << -1 << u"Abbrechen:action:x"_s;
        QTest::newRow("one default button") << QStringList{u"OK"_s} << 0 << u"OK:action:x"_s;
        QTest::newRow("one button") << QStringList{u"Abbrechen"_s} << -1 << u"Abbrechen:action:x"_s;
    }

    void escapeRunsTheCancelButton()
    {
        QFETCH(QStringList, titles);
        QFETCH(int, defaultIndex);
        QFETCH(QString, call);
        Window w;
        Calls calls;
        std::optional<QString> item = u"x"_s;
        QList<Button> buttons;
        for (int i = 0; i < titles.size(); ++i)
            buttons << button(titles.at(i), &calls, i == defaultIndex);
        SheetOverlay* overlay = AlertCustom::alertCustom<QString>(w.host, Binding<std::optional<QString>>::to(&item),
                                                                  u"T"_s, nullptr, buttons, AlertCustomType::warn);
        QTest::keyClick(cardOf(overlay), Qt::Key_Escape);
        QCOMPARE(calls.log, QStringList{call});
        QVERIFY(overlay->isDismissed());
        QVERIFY(!item);
    }

    // Tab moves through the buttons; Space or Return runs the focused one, Escape still cancels.
    void keysOnTheButtons_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("call");
        QTest::newRow("first, Space") << 1 << int(Qt::Key_Space) << u"Abbrechen:action:x"_s;
        QTest::newRow("second, Space") << 2 << int(Qt::Key_Space) << u"Löschen:action:x"_s;
        QTest::newRow("first, Return runs the focused one") << 1 << int(Qt::Key_Return) << u"Abbrechen:action:x"_s;
        QTest::newRow("around to the first again") << 3 << int(Qt::Key_Space) << u"Abbrechen:action:x"_s;
        QTest::newRow("second, Escape") << 2 << int(Qt::Key_Escape) << u"Abbrechen:action:x"_s;
    }

    void keysOnTheButtons()
    {
        QFETCH(int, tabs);
        QFETCH(int, key);
        QFETCH(QString, call);
        Window w;
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        Calls calls;
        std::optional<QString> item = u"x"_s;
        SheetOverlay* overlay = AlertCustom::alertCustom<QString>(
            w.host, Binding<std::optional<QString>>::to(&item), u"Entfernen bestätigen"_s, nullptr,
            {button(u"Abbrechen"_s, &calls), button(u"Löschen"_s, &calls, true)}, AlertCustomType::trash);
        AlertCommon* card = cardOf(overlay);
        QCOMPARE(QApplication::focusWidget(), card);
        for (int i = 0; i < tabs; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), card->buttonViews().at((tabs - 1) % 2));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(calls.log, QStringList{call});
        QCOMPARE(w.otherClicks, 0);
        QVERIFY(!item);
    }

    void headerByKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QColor>("color");
        QTest::newRow("trash") << int(AlertCustomType::trash) << "trash" << TarnColor::secondary();
        QTest::newRow("warn") << int(AlertCustomType::warn) << "exclamationmark.triangle.fill" << TarnColor::orange();
        QTest::newRow("info") << int(AlertCustomType::info) << "info.circle.fill" << TarnColor::blue();
        QTest::newRow("without") << int(AlertCustomType::without) << "" << TarnColor::textColor();
    }

    void headerByKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, symbol);
        QFETCH(QColor, color);
        AlertCommon card(QStringLiteral("Titel"), nullptr, {}, AlertCustomType(kind), std::nullopt, std::nullopt);
        const auto symbols = card.findChildren<SymbolView*>();
        QCOMPARE(symbols.size(), 1);
        QCOMPARE(symbols.first()->symbolName(), symbol);
        QCOMPARE(symbols.first()->tint(), color);
        QCOMPARE(symbols.first()->size(), QSize(30, 30)); // the space is kept without a symbol
        QCOMPARE(card.titleLabel()->palette().color(QPalette::WindowText), color);
    }

    void emptyTitleShowsOnlyTheIcon()
    {
        AlertCommon card(QString(), nullptr, {}, AlertCustomType::info, std::nullopt, std::nullopt);
        QVERIFY(!card.titleLabel());
    }

    void optionalLines_data()
    {
        QTest::addColumn<bool>("warning");
        QTest::addColumn<bool>("toggle");
        QTest::newRow("neither") << false << false;
        QTest::newRow("warning") << true << false;
        QTest::newRow("toggle") << false << true;
        QTest::newRow("both, with divider") << true << true;
    }

    void optionalLines()
    {
        QFETCH(bool, warning);
        QFETCH(bool, toggle);
        AlertCommon card(QStringLiteral("T"), AlertCommon::messageText(QStringLiteral("M")), {}, AlertCustomType::info,
                         warning ? std::optional<QString>(QStringLiteral("Warnung")) : std::nullopt,
                         toggle ? std::optional<QString>(QStringLiteral("Schalter")) : std::nullopt);
        QCOMPARE(bool(card.warningLabel()), warning);
        QCOMPARE(bool(card.toggleView()), toggle);
        QCOMPARE(card.hasDivider(), warning && toggle);
        if (toggle) {
            QVERIFY(!card.toggle());
            // Reached with Tab like every control of a card; a click does not take the focus.
            QCOMPARE(card.toggleView()->focusPolicy(), Qt::TabFocus);
            card.toggleView()->click();
            QVERIFY(card.toggle());
        }
    }

    void longMessagesAreCutAt15Lines()
    {
        QStringList lines;
        for (int i = 0; i < 40; ++i)
            lines << QStringLiteral("Zeile %1").arg(i);
        QWidget* message = AlertCommon::messageText(lines.join(QLatin1Char('\n')));
        QWidget* shortMessage = AlertCommon::messageText(QStringLiteral("kurz"));
        const int lineSpacing = message->fontMetrics().lineSpacing();
        AlertCommon longCard(QStringLiteral("T"), message, {}, AlertCustomType::info, std::nullopt, std::nullopt);
        AlertCommon shortCard(QStringLiteral("T"), shortMessage, {}, AlertCustomType::info, std::nullopt, std::nullopt);
        QCOMPARE(message->maximumHeight(), 15 * lineSpacing);
        QVERIFY(longCard.sizeHint().height() - shortCard.sizeHint().height() <= 15 * lineSpacing);
        QVERIFY(longCard.sizeHint().height() > shortCard.sizeHint().height() + 10 * lineSpacing);
    }

    void buttonsEqualByIdHashByFields()
    {
        Button a;
        a.title = QStringLiteral("A");
        Button b = a;
        b.title = QStringLiteral("B");
        QVERIFY(a == b);
        QVERIFY(qHash(a) != qHash(b));
        Button c;
        c.title = QStringLiteral("A");
        QVERIFY(!(a == c));
        Button d = a;
        d.action = [](const std::optional<QString>&) {};
        QCOMPARE(qHash(a), qHash(d));
    }

    // Modal to its window: other widgets get no input while the card is open.
    void blocksTheRestOfTheWindow()
    {
        Window w;
        bool presented = true;
        AlertCustomButton<AlertNoItem> ok;
        ok.title = QStringLiteral("OK");
        SheetOverlay* overlay = AlertCustom::alertCustom(w.host, Binding<bool>::to(&presented), QStringLiteral("T"),
                                                         nullptr, {ok}, AlertCustomType::info);
        QTest::mouseClick(w.other, Qt::LeftButton);
        w.other->setFocus();
        QTest::keyClick(w.other, Qt::Key_Space);
        QCOMPARE(w.otherClicks, 0);
        QTest::mouseClick(cardOf(overlay)->buttonViews().first(), Qt::LeftButton);
        QTest::mouseClick(w.other, Qt::LeftButton);
        QCOMPARE(w.otherClicks, 1);
    }
};

TARN_TEST_GUI_MAIN(TestAlertCustom)
#include "TestAlertCustom.moc"
