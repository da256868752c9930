#pragma once

#include "platform/updates/AppcastItem.h"
#include "platform/updates/UpdateDeadlines.h"
#include "platform/updates/UpdateError.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class PartialFileWriter;
class QNetworkAccessManager;
class QTemporaryFile;
class UpdateRequest;

// Downloads an update's enclosure into a folder. The bytes go to a hidden partial file there, which
// becomes the visible file only when its length equals the feed's and its Ed25519 signature verifies
// against the public key; on every other path it is removed. Writing and verifying run off the GUI
// thread; while the disk lags behind, the transfer waits. Reports once: downloaded() or failed().
class UpdateDownloader : public QObject
{
    Q_OBJECT

public:
    // Bytes that may wait for the disk before the transfer pauses.
    static constexpr qint64 maximumPendingBytes = 8 * 1024 * 1024;

    // The longest file name in UTF-8 bytes: with the partial file's additions and a "(n)" it stays
    // within the 255 bytes a name may have.
    static constexpr qsizetype maximumNameBytes = 200;
    static constexpr qsizetype maximumNameLength = 120; // characters

    UpdateDownloader(QNetworkAccessManager* network, const AppcastItem& item, const QByteArray& publicKey,
                     const QString& folder, const UpdateDeadlines& deadlines, QObject* parent = nullptr);
    ~UpdateDownloader() override;

    void start();
    // Stops the download; it reports cancelled.
    void cancel();

    // The file name the download is saved under, before "(n)" makes it unique in the folder: the
    // address's last part without control characters and leading dots, shortened to
    // maximumNameLength characters and maximumNameBytes bytes with its extension kept.
    static QString targetName(const AppcastItem& item);
    // name in folder, or "base (n).suffix" for the first n that names no existing entry.
    static QString uniquePath(const QString& folder, const QString& name, int skip = 0);

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    void downloaded(const QString& filePath);
    void failed(const UpdateError& error);

private:
    void transferFinished(const std::optional<UpdateError>& failure);
    void writingFailed(const QString& detail);
    void allWritten();
    void verified(const std::optional<QString>& unreadable, bool valid);
    void fail(UpdateError error);

    QNetworkAccessManager* m_network;
    AppcastItem m_item;
    QByteArray m_publicKey;
    QString m_folder;
    UpdateDeadlines m_deadlines;
    std::unique_ptr<QTemporaryFile> m_partial;
    QPointer<PartialFileWriter> m_writer;
    QPointer<UpdateRequest> m_request;
    bool m_reported = false;
};
