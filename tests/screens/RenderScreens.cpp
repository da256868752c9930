#include "tests/screens/ScreenCatalog.h"

#include "kit/theme/FontFaces.h"
#include "platform/AppIdentity.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QList>
#include <QPair>
#include <QWidget>

#include <cstdio>

namespace {

QList<QPair<QString, ScreenCatalog::Scene>>& scenes()
{
    static QList<QPair<QString, ScreenCatalog::Scene>> list;
    return list;
}

QString& outputFolder()
{
    static QString folder;
    return folder;
}

} // namespace

ScreenCatalog::Registration::Registration(const char* area, Scene scene)
{
    scenes().append({QString::fromLatin1(area), std::move(scene)});
}

void ScreenCatalog::save(QWidget* widget, const QString& name)
{
    QWidget* window = widget->window();
    // Pictures of a scaled screen carry the scale in their name, beside those at 100 %.
    const qreal ratio = window->devicePixelRatioF();
    const QString scale = ratio > 1 ? QStringLiteral("@%1x").arg(ratio) : QString();
    const QString path = outputFolder() + QLatin1Char('/') + name + scale + QStringLiteral(".png");
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void ScreenCatalog::settle(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Usage: tarn-render-screens <output folder> [area...]
int main(int argc, char** argv)
{
    TestEnvironment environment;
    QApplication application(argc, argv);
    environment.startPrivateSession();
    AppIdentity::apply();
    FontFaces::installApplicationFont();

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: tarn-render-screens <output folder> [area...]\n");
        return 2;
    }
    outputFolder() = arguments.first();
    QDir().mkpath(outputFolder());
    const QStringList areas = arguments.mid(1);

    for (const auto& [area, scene] : scenes()) {
        if (areas.isEmpty() || areas.contains(area)) {
            scene();
        }
    }
    environment.endPrivateSession();
    return 0;
}
