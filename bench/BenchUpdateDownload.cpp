// The GUI thread's longest stall while the updater downloads a large update: a 10 ms timer on the GUI
// thread notes how late it fires while a signed package comes from a server on loopback (on a thread of
// its own) into the download folder, with the progress card open. Not a test; run by
// bench/run-gui-benchmark.sh.
//   tarn-bench-download <size in MiB>
// Downloads go to the download folder under HOME.
#include "app/updates/UpdateAlertPresenter.h"
#include "bench/GuiStall.h"
#include "platform/AppIdentity.h"
#include "platform/updates/Updater.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/UpdateFeedFixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

using GuiStall::runUntil;
using GuiStall::StallMeter;

namespace {

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    AppIdentity::apply();
    QTextStream out(stdout);
    const qsizetype size = qsizetype(argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 400) * 1024 * 1024;

    QByteArray payload(size, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(payload.data()), size / 4);
    const SigningKey key;
    const QByteArray signature = key.sign(payload);

    // The server answers on its own thread, so that its sending costs the GUI thread nothing.
    QThread serverThread;
    serverThread.start();
    QObject anchor;
    anchor.moveToThread(&serverThread);
    std::unique_ptr<LoopbackHttpServer> server;
    QUrl feedUrl;
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            server = std::make_unique<LoopbackHttpServer>();
            const QString path = QStringLiteral("/files/tarn-backup-manager_99.1_amd64.deb");
            LoopbackHttpServer::Response package;
            package.body = payload;
            package.pieceSize = 64 * 1024;
            server->setResponse(path, package);
            server->setBody(QStringLiteral("/feed.xml"),
                            UpdateFeed::appcast({UpdateFeed::Entry{QStringLiteral("99.1"), QString(),
                                                                   server->url(path).toString(), size, signature}}));
            feedUrl = server->url(QStringLiteral("/feed.xml"));
        },
        Qt::BlockingQueuedConnection);

    QDir(Updater::downloadFolder()).removeRecursively();
    QWidget window;
    window.resize(900, 500);
    window.show();
    Updater updater(nullptr);
    updater.setAutomaticallyChecksForUpdates(false);
    updater.setFeedUrl(feedUrl);
    updater.setPublicKey(key.publicKeyBase64());
    updater.start();
    UpdateAlertPresenter* presenter = UpdateAlertPresenter::forUpdater(&updater);

    int status = 1;
    UpdateAlertPresenter::checkForUpdates(&updater, &window);
    if (!runUntil([&] { return updater.foundUpdate().has_value() && updater.canCheckForUpdates(); }, 60000)) {
        out << "download: the check found no update" << Qt::endl;
    } else {
        bool ended = false;
        QString outcome;
        QObject::connect(&updater, &Updater::updateDownloaded, &app, [&](const AppcastItem&, const QString& path) {
            ended = true;
            outcome = path;
        });
        QObject::connect(&updater, &Updater::userSessionFailed, &app, [&](const UpdateError& error) {
            ended = true;
            outcome = QString::fromLatin1(UpdateError::name(error.code));
        });
        runUntil([] { return false; }, 200);
        StallMeter meter;
        QElapsedTimer clock;
        meter.start();
        clock.start();
        updater.downloadUpdate();
        presenter->showProgress(0, size);
        runUntil([&] { return ended; }, 3600 * 1000);
        const double seconds = double(clock.elapsed()) / 1000;
        const qint64 stall = meter.stop();
        if (ended && QFileInfo(outcome).size() == size) {
            out << QStringLiteral("download: %1 MiB in %2 s, longest GUI stall %3 ms\n")
                       .arg(size / (1024 * 1024))
                       .arg(seconds, 0, 'f', 1)
                       .arg(stall);
            status = 0;
        } else {
            out << "download failed: " << outcome << Qt::endl;
        }
    }
    QDir(Updater::downloadFolder()).removeRecursively();
    QMetaObject::invokeMethod(
        &anchor, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return status;
}
