#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <vector>

// Real processes standing in for running applications: copies of sleep under a chosen executable
// name. Whatever still runs is killed and reaped when the object goes.
class SiblingProcesses
{
public:
    SiblingProcesses() { m_ok = m_dir.isValid(); }
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

    // Runs for a minute; ignoreTerm leaves the process deaf to SIGTERM.
    QProcess* start(const QString& name = QStringLiteral("de.orlwen"), bool ignoreTerm = false)
    {
        const QString path = m_dir.filePath(name);
        if (!QFile::exists(path))
            m_ok = QFile::copy(QStringLiteral("/bin/sleep"), path) && m_ok;
        auto process = std::make_unique<QProcess>();
        process->setProgram(path);
        process->setArguments({QStringLiteral("60")});
        if (ignoreTerm)
            process->setChildProcessModifier([] { ::signal(SIGTERM, SIG_IGN); });
        process->start();
        m_ok = process->waitForStarted() && m_ok;
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    bool ok() const { return m_ok; }

private:
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_ok = true;
};
