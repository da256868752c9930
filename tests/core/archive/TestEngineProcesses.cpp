#include "core/archive/ArchiveCipher.h"
#include "core/archive/EncryptionService.h"
#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QRandomGenerator>

#include <archive_entry.h>

#include <sys/stat.h>

namespace {

const QString password = QStringLiteral("Prozess 1");

QByteArray masked(const QByteArray& bytes)
{
    QByteArray out = bytes;
    for (char& c : out)
        c = char(c ^ 0x5A);
    return out.toHex();
}

struct Run
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

Run runEngine(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TARN_ENGINE_RUNNER), arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

// The engine in a process of its own: killed at any point, without root's disregard for file
// permissions, on a kernel that refuses the atomic exchange, and inspected for key material.
class TestEngineProcesses : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> m_dir;
    QString m_container;
    QString m_backupA;
    QString m_backupB;
    QMap<QString, QString> m_treeA;
    QMap<QString, QString> m_treeB;

    QString path(const QString& name) const { return m_dir->path(name); }

    QString writeBackup(const QString& name, const QList<ZipItem>& items, QMap<QString, QString>* tree) const
    {
        const QString file = path(QStringLiteral("backups/") + name);
        if (!writeFile(file, encryptBackup(makeZip(items), password)))
            return {};
        const QString reference = path(QStringLiteral("reference-") + name);
        if (!restoreBackup(file, reference, password))
            return {};
        *tree = treeSnapshot(reference + QStringLiteral("/Data"));
        return file;
    }

    // After a restart: Data is one of the two backups, whole, and nothing else is left.
    void verifyRecovered(const QString& context) const
    {
        const ArchiveResult recovered = EncryptionService::recoverInterruptedRestore(m_container).result();
        QVERIFY2(recovered, qPrintable(context));
        const QMap<QString, QString> tree = treeSnapshot(m_container + QStringLiteral("/Data"));
        QVERIFY2(tree == m_treeA || tree == m_treeB, qPrintable(context + QStringLiteral(": Data is incomplete")));
        QVERIFY2(entriesOf(m_container) == QStringList{QStringLiteral("Data")},
                 qPrintable(context + QStringLiteral(": ") + entriesOf(m_container).join(u',')));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScratchDir>();
        QVERIFY(m_dir->isValid());
        m_container = path(QStringLiteral("container"));
        QList<ZipItem> a{{"Data/", AE_IFDIR, {}}};
        QList<ZipItem> b{{"Data/", AE_IFDIR, {}}};
        for (int i = 0; i < 6; ++i) {
            a.append({"Data/a/" + QByteArray::number(i), AE_IFREG, "A " + QByteArray::number(i)});
            b.append({"Data/b/" + QByteArray::number(i), AE_IFREG, "B " + QByteArray::number(i)});
        }
        b.append({"Data/nur lesen/", AE_IFDIR, {}, 0555});
        m_backupA = writeBackup(QStringLiteral("Backup_2024-01-01_00-00-00.orlwen"), a, &m_treeA);
        m_backupB = writeBackup(QStringLiteral("Backup_2024-01-02_00-00-00.orlwen"), b, &m_treeB);
        QVERIFY(!m_backupA.isEmpty() && !m_backupB.isEmpty());
        QVERIFY(restoreBackup(m_backupA, m_container, password));
    }

    void cleanup() { m_dir.reset(); }

    // On a kernel that refuses RENAME_EXCHANGE every restore takes the two-step swap.
    void restoresWithoutAtomicExchange()
    {
        const Run run = runEngine(
            {QStringLiteral("--refuse-exchange"), QStringLiteral("restore"), m_backupB, m_container, password});
        QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
        QCOMPARE(treeSnapshot(m_container + QStringLiteral("/Data")), m_treeB);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
    }

    void killedAtAPoint_data()
    {
        QTest::addColumn<QString>("point");
        QTest::newRow("while unpacking") << QStringLiteral("restore:entry");
        QTest::newRow("after moving Data aside") << QStringLiteral("swap:moved-aside");
        QTest::newRow("after moving the new content in") << QStringLiteral("swap:moved-in");
    }

    // A restore killed at any step of the two-step swap leaves a complete Data after the next start.
    void killedAtAPoint()
    {
        QFETCH(QString, point);
        const Run run = runEngine({QStringLiteral("--refuse-exchange"), QStringLiteral("--kill-at"), point,
                                   QStringLiteral("restore-loop"), m_backupB, m_backupA, m_container, password});
        QVERIFY2(run.crashed, run.err.constData());
        verifyRecovered(point);
    }

    void killedAtRandomPoints()
    {
        QRandomGenerator random(QRandomGenerator::global()->generate());
        for (int round = 0; round < 12; ++round) {
            QProcess process;
            process.start(QStringLiteral(TARN_ENGINE_RUNNER),
                          {QStringLiteral("--refuse-exchange"), QStringLiteral("--markers"),
                           QStringLiteral("restore-loop"), m_backupB, m_backupA, m_container, password});
            // Each restore reports its entries and the steps of its swap; the kill lands wherever
            // the process has got to when it arrives.
            const int markers = 1 + int(random.bounded(40));
            int seen = 0;
            while (seen < markers && process.state() != QProcess::NotRunning) {
                if (!process.canReadLine() && !process.waitForReadyRead(30000))
                    break;
                while (process.canReadLine() && seen < markers) {
                    process.readLine();
                    ++seen;
                }
            }
            QVERIFY2(seen == markers, process.readAllStandardError().constData());
            process.kill();
            process.waitForFinished();
            verifyRecovered(QStringLiteral("killed after %1 markers").arg(markers));
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Leftover folders without write permission (from the sibling app's own files or a killed
    // run) do not block the next restore once root's override of permissions is gone.
    void readOnlyFoldersDoNotBlock()
    {
        const QString data = m_container + QStringLiteral("/Data");
        const QString leftover = m_container + QStringLiteral("/.TempData");
        QVERIFY(writeFile(data + QStringLiteral("/gesperrt/datei"), "alt"));
        QVERIFY(writeFile(leftover + QStringLiteral("/gesperrt/datei"), "halb"));
        for (const QString& folder : {data + QStringLiteral("/gesperrt"), leftover + QStringLiteral("/gesperrt")})
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

        // B holds a folder of mode 0555 itself, which the restore after it has to remove.
        for (const QString& backup : {m_backupB, m_backupA}) {
            const Run run =
                runEngine({QStringLiteral("--no-dac"), QStringLiteral("restore"), backup, m_container, password});
            QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
            QCOMPARE(treeSnapshot(data), backup == m_backupB ? m_treeB : m_treeA);
            QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
        }
    }

    void keyMaterialIsCleansed_data()
    {
        QTest::addColumn<bool>("keepCopy");
        QTest::newRow("after a backup and a restore") << false;
        QTest::newRow("control: a copy kept on purpose") << true;
    }

    // No copy of the derived key or of the password material stays in the heap once the work is done.
    void keyMaterialIsCleansed()
    {
        QFETCH(bool, keepCopy);
        const QString source = path(QStringLiteral("quelle/Data"));
        QVERIFY(writeFile(source + QStringLiteral("/notiz.txt"), "Notiz"));
        const QByteArray material = password.toUtf8() + ArchiveCipher::internalKey;
        QStringList arguments{QStringLiteral("scan"),
                              source,
                              path(QStringLiteral("scan-backups")),
                              path(QStringLiteral("scan-container")),
                              password,
                              QString::fromLatin1(masked(ArchiveCipher::deriveKey(password))),
                              QString::fromLatin1(masked(material))};
        if (keepCopy)
            arguments.prepend(QStringLiteral("--keep-copy"));
        const Run run = runEngine(arguments);
        QVERIFY2(!run.crashed && run.exitCode == 0, run.err.constData());
        const QList<QByteArray> fields = run.out.trimmed().split(' ');
        QCOMPARE(fields.size(), 4);
        const int keyHits = fields[1].toInt();
        const int materialHits = fields[3].toInt();
        if (keepCopy) {
            QVERIFY2(keyHits >= 1, run.out.constData());
        } else {
            QCOMPARE(keyHits, 0);
            QCOMPARE(materialHits, 0);
        }
    }
};

TARN_TEST_MAIN(TestEngineProcesses)
#include "TestEngineProcesses.moc"
