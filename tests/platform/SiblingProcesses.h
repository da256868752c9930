#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <vector>

// Real processes standing in for running applications: copies of sleep under a chosen executable
// name, by default a name of this fixture's own, so that a test never finds the user's real sibling
// app. Whatever still runs of them is killed and reaped when the object goes; nothing else is ever
// signalled.
class SiblingProcesses
{
public:
    explicit SiblingProcesses(const QString& name = uniqueName())
        : m_name(name)
    {
        m_ok = m_dir.isValid();
        // Other users (tests that run a look-up as nobody) must reach the copies.
        QFile::setPermissions(m_dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                  QFileDevice::ExeGroup);
    }
    ~SiblingProcesses()
    {
        for (const auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    SiblingProcesses(const SiblingProcesses&) = delete;
    SiblingProcesses& operator=(const SiblingProcesses&) = delete;

    // A name no other program has: at most 15 characters, as the kernel keeps of a process's own name
    // (its comm).
    static QString uniqueName()
    {
        return QStringLiteral("tarn%1-%2")
            .arg(QCoreApplication::applicationPid() % 10000000)
            .arg(QRandomGenerator::global()->generate() % 1000);
    }

    // The identifier of this fixture's stand-ins, to be given to the look-up.
    QString name() const { return m_name; }
    // The executable of a stand-in of that name.
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Runs for a minute; ignoreTerm leaves the process deaf to SIGTERM. launcher, when given, starts
    // it (a program and its arguments, followed by the stand-in's path).
    QProcess* start(const QString& name, bool ignoreTerm = false, const QStringList& launcher = {})
    {
        const QString executable = path(name);
        if (!QFile::exists(executable))
            m_ok = QFile::copy(QStringLiteral("/bin/sleep"), executable) && m_ok;
        auto process = std::make_unique<QProcess>();
        QStringList arguments = launcher;
        arguments << executable << QStringLiteral("60");
        process->setProgram(arguments.takeFirst());
        process->setArguments(arguments);
        if (ignoreTerm)
            process->setChildProcessModifier([] { ::signal(SIGTERM, SIG_IGN); });
        process->start();
        m_ok = process->waitForStarted() && m_ok;
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }
    QProcess* start(bool ignoreTerm = false) { return start(m_name, ignoreTerm); }

    bool ok() const { return m_ok; }

private:
    QString m_name;
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_ok = true;
};
