#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QWidget* card(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFixedSize(200, 100);
    return label;
}

// A card of one of the shapes that the overlay must centre by the size it really takes.
QWidget* shapedCard(const QString& shape)
{
    const QString longText = QStringLiteral("Die Version 2.0 ist verfügbar. Du verwendest die Version 1.0. "
                                            "Möchtest du sie jetzt herunterladen?");
    if (shape == u"fixed width, short text" || shape == u"fixed width, wrapped text") {
        auto* card = new QWidget;
        card->setFixedWidth(320);
        auto* label = new QLabel(shape == u"fixed width, short text" ? QStringLiteral("OK?") : longText);
        label->setWordWrap(shape == u"fixed width, wrapped text");
        (new QVBoxLayout(card))->addWidget(label);
        return card;
    }
    if (shape == u"minimum above the hint") {
        auto* label = new QLabel(QStringLiteral("A"));
        label->setMinimumSize(250, 120);
        return label;
    }
    if (shape == u"maximum width below the hint") {
        auto* label = new QLabel(longText);
        label->setMaximumWidth(150);
        return label;
    }
    // Wants far more than the window has and can shrink.
    auto* card = new QWidget;
    (new QVBoxLayout(card))->addItem(new QSpacerItem(2000, 2000, QSizePolicy::Preferred, QSizePolicy::Preferred));
    return card;
}

TrendyButtonHelper* button(const QString& text, QWidget* parent)
{
    TrendyButtonHelper::Fields fields;
    fields.text = text;
    fields.textColor = TarnColor::controlBackgroundColor();
    return new TrendyButtonHelper(std::move(fields), parent);
}

// A window with a button of its own, shown and active.
struct Window
{
    QWidget widget;
    QPushButton* behind = new QPushButton(QStringLiteral("behind"), &widget);

    Window()
    {
        widget.resize(600, 400);
        (new QVBoxLayout(&widget))->addWidget(behind);
        widget.show();
        widget.activateWindow();
        if (!QTest::qWaitForWindowActive(&widget))
            qWarning("window not active");
        behind->setFocus();
    }
};

// A sheet's content that raises a card of its own as it appears, as a screen does with a warning it
// already has when its sheet opens.
class RaisesACardWhenShown : public QWidget
{
public:
    QPointer<SheetOverlay> raised;

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        if (!raised)
            raised = SheetOverlay::present(this, card(QStringLiteral("Fehler")));
    }
};

} // namespace

class TestSheetOverlay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The card is drawn, and takes the clicks, above the sheet whose content raised it.
    void cardRaisedAsTheSheetAppearsIsAboveIt()
    {
        Window window;
        auto* content = new RaisesACardWhenShown;
        content->setFixedSize(400, 300);
        SheetOverlay* sheet = SheetOverlay::present(window.behind, content);
        QVERIFY(content->raised);
        SheetOverlay* alert = content->raised;
        QCOMPARE(SheetOverlay::overlays(&window.widget), (QList<SheetOverlay*>{sheet, alert}));
        QVERIFY(alert->isTopmost());
        QVERIFY(!sheet->isTopmost());
        const QPoint centre = alert->card()->mapTo(&window.widget, alert->card()->rect().center());
        QCOMPARE(window.widget.childAt(centre), alert->card());
    }

    void presentsCentredOverTheWindow()
    {
        QWidget window;
        window.resize(600, 400);
        auto* host = new QWidget(&window);
        window.show();
        SheetOverlay* overlay = SheetOverlay::present(host, card(QStringLiteral("A")));
        QCOMPARE(overlay->parentWidget(), &window);
        QCOMPARE(overlay->geometry(), window.rect());
        QCOMPARE(overlay->card()->geometry(), QRect(200, 150, 200, 100));
        QCOMPARE(SheetOverlay::enclosing(overlay->card()), overlay);
        window.resize(800, 500);
        QCOMPARE(overlay->geometry(), window.rect());
        QCOMPARE(overlay->card()->geometry(), QRect(300, 200, 200, 100));
    }

    void centredByTheSizeTheCardTakes_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QSize>("expected"); // a height of -1: the card's height for the expected width
        QTest::newRow("fixed width, short text") << u"fixed width, short text"_s << QSize(320, -1);
        QTest::newRow("fixed width, wrapped text") << u"fixed width, wrapped text"_s << QSize(320, -1);
        QTest::newRow("minimum above the hint") << u"minimum above the hint"_s << QSize(250, 120);
        QTest::newRow("maximum width below the hint") << u"maximum width below the hint"_s << QSize(150, -1);
        QTest::newRow("larger than the room") << u"larger than the room"_s << QSize(600 - 24, 400 - 24);
    }

    void centredByTheSizeTheCardTakes()
    {
        QFETCH(QString, shape);
        QFETCH(QSize, expected);
        QWidget window;
        window.resize(600, 400);
        window.show();
        QWidget* card = shapedCard(shape);
        SheetOverlay* overlay = SheetOverlay::present(&window, card);
        if (expected.height() < 0) {
            expected.setHeight(card->hasHeightForWidth() ? card->heightForWidth(expected.width())
                                                         : card->sizeHint().height());
        }
        QCOMPARE(card->size(), expected);
        QCOMPARE(card->geometry(),
                 QRect(QPoint((600 - expected.width()) / 2, (400 - expected.height()) / 2), expected));
        QCOMPARE(SheetOverlay::cardSize(card, overlay->size() - QSize(24, 24)), expected);
    }

    void dismissRunsOnce()
    {
        QWidget window;
        window.resize(400, 300);
        window.show();
        SheetOverlay* overlay = SheetOverlay::present(&window, card(QStringLiteral("A")));
        QPointer<SheetOverlay> guard(overlay);
        QSignalSpy dismissed(overlay, &SheetOverlay::dismissed);
        overlay->dismiss();
        overlay->dismiss();
        QCOMPARE(dismissed.count(), 1);
        QVERIFY(SheetOverlay::overlays(&window).isEmpty());
        QTRY_VERIFY(!guard);
    }

    // Replacing the window's content (as on logout) closes what it presented.
    void closesWhenTheHostGoes()
    {
        QWidget window;
        window.resize(400, 300);
        auto* layout = new QVBoxLayout(&window);
        auto* host = new QWidget(&window);
        layout->addWidget(host);
        window.show();
        SheetOverlay* hidden = SheetOverlay::present(host, card(QStringLiteral("A")));
        QSignalSpy dismissed(hidden, &SheetOverlay::dismissed);
        host->hide();
        QCOMPARE(dismissed.count(), 1);

        host->show();
        SheetOverlay* deleted = SheetOverlay::present(host, card(QStringLiteral("B")));
        QSignalSpy deletedSpy(deleted, &SheetOverlay::dismissed);
        QPointer<SheetOverlay> guard(deleted);
        delete host;
        QVERIFY(deleted->isDismissed());
        QCOMPARE(deletedSpy.count(), 0); // the owner of any binding is gone
        QTRY_VERIFY(!guard);
    }

    void dismissAllClosesTheStack()
    {
        QWidget window;
        window.resize(400, 300);
        window.show();
        SheetOverlay* lower = SheetOverlay::present(&window, card(QStringLiteral("sheet")));
        SheetOverlay* upper = SheetOverlay::present(lower->card(), card(QStringLiteral("alert")));
        QCOMPARE(SheetOverlay::overlays(&window), (QList<SheetOverlay*>{lower, upper}));
        QVERIFY(upper->isTopmost());
        QVERIFY(!lower->isTopmost());
        SheetOverlay::dismissAll(&window);
        QVERIFY(lower->isDismissed());
        QVERIFY(upper->isDismissed());
        QVERIFY(SheetOverlay::overlays(&window).isEmpty());
    }

    // The topmost overlay takes the input of the window; lower ones and the window's widgets get none.
    void modalToItsWindowOnly()
    {
        QWidget window;
        window.resize(400, 300);
        auto* layout = new QVBoxLayout(&window);
        auto* behind = new QPushButton(QStringLiteral("behind"), &window);
        layout->addWidget(behind);
        int behindClicks = 0;
        connect(behind, &QPushButton::clicked, [&behindClicks] { ++behindClicks; });
        int shortcuts = 0;
        auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F5), &window);
        connect(shortcut, &QShortcut::activated, [&shortcuts] { ++shortcuts; });
        QWidget otherWindow;
        auto* elsewhere = new QPushButton(QStringLiteral("elsewhere"), &otherWindow);
        int elsewhereClicks = 0;
        connect(elsewhere, &QPushButton::clicked, [&elsewhereClicks] { ++elsewhereClicks; });
        window.show();
        otherWindow.show();

        auto* lowerButton = new QPushButton(QStringLiteral("lower"));
        int lowerClicks = 0;
        connect(lowerButton, &QPushButton::clicked, [&lowerClicks] { ++lowerClicks; });
        SheetOverlay* lower = SheetOverlay::present(behind, lowerButton);
        QTest::mouseClick(behind, Qt::LeftButton);
        QTest::mouseClick(lowerButton, Qt::LeftButton);
        QCOMPARE(behindClicks, 0);
        QCOMPARE(lowerClicks, 1);

        auto* upperButton = new QPushButton(QStringLiteral("upper"));
        SheetOverlay::present(lowerButton, upperButton);
        QTest::mouseClick(lowerButton, Qt::LeftButton);
        QCOMPARE(lowerClicks, 1);
        QTest::mouseClick(elsewhere, Qt::LeftButton);
        QCOMPARE(elsewhereClicks, 1);

        SheetOverlay::dismissAll(&window);
        QTest::mouseClick(behind, Qt::LeftButton);
        QCOMPARE(behindClicks, 1);
        Q_UNUSED(lower);
    }

    // What the content focuses as it appears keeps the focus: typing reaches the editor.
    void contentKeepsItsFocus_data()
    {
        QTest::addColumn<bool>("needFocus");
        QTest::newRow("editor asks for the focus") << true;
        QTest::newRow("nothing asks: the card has it") << false;
    }

    void contentKeepsItsFocus()
    {
        QFETCH(bool, needFocus);
        Window window;
        QString comment;
        auto* card = new QWidget;
        auto* editor = new TextEditorHelper(QString(), QStringLiteral("Kommentar"), TarnFont::roboto_regular14,
                                            TarnFont::roboto_regular12, 70, 70, 300, 0, Binding<QString>::to(&comment),
                                            false, needFocus, card);
        (new QVBoxLayout(card))->addWidget(editor);
        SheetOverlay* overlay = SheetOverlay::present(window.behind, card);
        QCOMPARE(QApplication::focusWidget(), needFocus ? static_cast<QWidget*>(editor->editor()) : card);
        QTest::keyClicks(QApplication::focusWidget(), u"Urlaub"_s);
        editor->commit();
        QCOMPARE(comment, needFocus ? u"Urlaub"_s : QString());
        overlay->dismiss();
        QCOMPARE(QApplication::focusWidget(), window.behind);
    }

    // Tab and Backtab cycle through the card's controls and never reach the window behind it.
    void tabStaysInTheCard()
    {
        Window window;
        auto* card = new QWidget;
        auto* layout = new QVBoxLayout(card);
        QString comment;
        auto* editor =
            new TextEditorHelper(QString(), QString(), TarnFont::roboto_regular14, TarnFont::roboto_regular12, 70, 70,
                                 300, 0, Binding<QString>::to(&comment), false, true, card);
        auto* box = new CheckBoxHelper(QStringLiteral("Einverstanden"), 15, false, std::nullopt, card);
        TrendyButtonHelper* cancel = button(QStringLiteral("Abbrechen"), card);
        TrendyButtonHelper* save = button(QStringLiteral("Speichern"), card);
        for (QWidget* w : {static_cast<QWidget*>(editor), static_cast<QWidget*>(box), static_cast<QWidget*>(cancel),
                           static_cast<QWidget*>(save)})
            layout->addWidget(w);
        SheetOverlay::present(window.behind, card);

        const QList<QWidget*> cycle{editor->editor(), box, cancel, save};
        QCOMPARE(QApplication::focusWidget(), cycle.first());
        for (int i = 1; i <= 2 * cycle.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), cycle.at(i % cycle.size()));
        }
        for (int i = 2 * int(cycle.size()) - 1; i >= 0; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), cycle.at(i % cycle.size()));
        }
        // Tab typed no tab into the comment.
        editor->commit();
        QCOMPARE(comment, QString());
    }

    // A card whose message wraps over more lines grows, and stays centred.
    void followsAGrowingCard()
    {
        Window window;
        std::optional<QString> message;
        auto* card = new QWidget;
        card->setFixedWidth(320);
        auto* layout = new QVBoxLayout(card);
        layout->addWidget(new QLabel(QStringLiteral("Kommentar bearbeiten")));
        auto* band = new WarningTextHelper(Binding<std::optional<QString>>::to(&message), Qt::red);
        layout->addWidget(band);
        SheetOverlay* overlay = SheetOverlay::present(&window.widget, card);
        const int before = card->height();

        band->setWarningText(QStringLiteral("Der Kommentar konnte nicht gespeichert werden: Das Dateisystem des "
                                            "Speicherorts nimmt keine erweiterten Attribute an."));
        QTRY_VERIFY(card->height() >= before + 3 * band->fontMetrics().lineSpacing());
        QCOMPARE(card->height(), SheetOverlay::cardSize(card, overlay->size() - QSize(24, 24)).height());
        QVERIFY(qAbs(card->geometry().center().y() - overlay->rect().center().y()) <= 1);
        QCOMPARE(band->height(), band->heightForWidth(band->width()));
    }

    void backdropIsBlurred()
    {
        QWidget window;
        window.resize(200, 200);
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::white);
        window.setPalette(palette);
        auto* block = new QWidget(&window);
        block->setGeometry(0, 0, 100, 200);
        block->setAutoFillBackground(true);
        QPalette black = block->palette();
        black.setColor(QPalette::Window, Qt::black);
        block->setPalette(black);
        window.show();
        SheetOverlay* overlay = SheetOverlay::present(&window, card(QString()));
        overlay->card()->hide();
        const QImage shot = window.grab().toImage();
        // The hard black-white edge at x = 100 is smoothed over several pixels.
        const int left = qGray(shot.pixel(97, 10));
        const int right = qGray(shot.pixel(103, 10));
        QVERIFY2(left > 60 && right < 250 && right > left, qPrintable(QStringLiteral("%1 %2").arg(left).arg(right)));
    }
};

TARN_TEST_GUI_MAIN(TestSheetOverlay)
#include "TestSheetOverlay.moc"
