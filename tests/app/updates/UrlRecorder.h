#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

// Takes what the application opens through QDesktopServices for one scheme, so that tests see the
// address and no browser or file manager starts.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    explicit UrlRecorder(const QString& scheme)
        : m_scheme(scheme)
    {
        QDesktopServices::setUrlHandler(m_scheme, this, "open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(m_scheme); }

    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }

private:
    QString m_scheme;
};
