#include "kit/dialogs/SheetOverlay.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {

QWidget* card(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFixedSize(200, 100);
    return label;
}

} // namespace

class TestSheetOverlay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
