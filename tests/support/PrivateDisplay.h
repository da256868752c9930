#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

// An X server of its own (Xvfb) on a display number it picks itself, for the life of the object.
class PrivateDisplay
{
public:
    PrivateDisplay();
    ~PrivateDisplay();

    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    bool isRunning() const { return !m_name.isEmpty(); }
    // The value for DISPLAY, as ":12".
    QString name() const { return m_name; }

    // Runs an X tool against this server; its output, or nothing when it failed or took too long.
    std::optional<QString> run(const QString& program, const QStringList& arguments) const;

private:
    QProcess m_server;
    QString m_name;
};
