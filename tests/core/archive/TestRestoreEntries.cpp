#include "tests/core/archive/ArchiveFixtures.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QFile>

#include <archive_entry.h>

#include <memory>

namespace {

const QString password = QStringLiteral("Wiederherstellen 1");

quint32 crc32Of(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

quint64 littleEndian(const QByteArray& bytes, qsizetype pos, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[pos + i]);
    return value;
}

// The tree an archive of these items restores to, as treeSnapshot() gives it.
QMap<QString, QString> treeOf(const QList<ZipItem>& items)
{
    QMap<QString, QString> tree;
    for (const ZipItem& item : items) {
        QString name = QString::fromUtf8(item.path).mid(5);
        if (name.endsWith(QLatin1Char('/')))
            name.chop(1);
        if (name.isEmpty())
            continue;
        if (item.type == AE_IFDIR)
            tree[name] = QStringLiteral("d");
        else if (item.type == AE_IFLNK)
            tree[name] = QStringLiteral("l:") + QString::fromUtf8(item.content);
        else
            tree[name] = QStringLiteral("f:") +
                QString::fromLatin1(QCryptographicHash::hash(item.content, QCryptographicHash::Sha256).toHex());
    }
    return tree;
}

const QList<ZipItem>& baseItems()
{
    static const QList<ZipItem> items{{"Data/", AE_IFDIR, {}},
                                      {"Data/neu.txt", AE_IFREG, "neue Daten"},
                                      {"Data/Ordner/", AE_IFDIR, {}},
                                      {"Data/leer.txt", AE_IFREG, {}},
                                      {"Data/verweis", AE_IFLNK, "neu.txt"}};
    return items;
}

// An archive whose end record declares one central directory while libarchive reads another: a
// second directory stands between the first and the end record, as long as the first, and lists
// the entries after the first one at offsets that libarchive's correction puts right.
QByteArray withSecondDirectory(const QByteArray& zip)
{
    const qsizetype end = zip.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    const qsizetype offset = qsizetype(littleEndian(zip, end + 16, 4));
    const qsizetype size = qsizetype(littleEndian(zip, end + 12, 4));
    QByteArray second;
    qsizetype lastRecord = -1;
    for (qsizetype pos = offset; pos < offset + size;) {
        const qsizetype length = 46 +
            qsizetype(littleEndian(zip, pos + 28, 2) + littleEndian(zip, pos + 30, 2) + littleEndian(zip, pos + 32, 2));
        const qsizetype local = qsizetype(littleEndian(zip, pos + 42, 4));
        if (local >= size) {
            lastRecord = second.size();
            QByteArray record = zip.mid(pos, length);
            putLittleEndian(&record, 42, quint64(local - size), 4);
            second += record;
        }
        pos += length;
    }
    if (lastRecord < 0)
        return {};
    // The records left out become the last record's comment.
    const qsizetype missing = size - second.size();
    putLittleEndian(&second, lastRecord + 32, littleEndian(second, lastRecord + 32, 2) + quint64(missing), 2);
    second += QByteArray(missing, 'c');
    return zip.left(offset + size) + second + zip.mid(end);
}

// An archive whose ZIP64 end record declares another central directory than its end record: a
// second one after the first, without the entry named `left`.
QByteArray withSecondZip64Directory(const QByteArray& zip, const QByteArray& left)
{
    const qsizetype end = zip.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    const qsizetype locator = end - 20;
    if (locator < 0 || zip.mid(locator, 4) != QByteArrayLiteral("PK\x06\x07"))
        return {};
    const qsizetype record = qsizetype(littleEndian(zip, locator + 8, 8));
    const qsizetype offset = qsizetype(littleEndian(zip, end + 16, 4));
    const qsizetype size = qsizetype(littleEndian(zip, end + 12, 4));
    if (offset + size != record)
        return {};
    QByteArray second;
    quint64 count = 0;
    for (qsizetype pos = offset; pos < offset + size;) {
        const qsizetype nameLength = qsizetype(littleEndian(zip, pos + 28, 2));
        const qsizetype length =
            46 + nameLength + qsizetype(littleEndian(zip, pos + 30, 2) + littleEndian(zip, pos + 32, 2));
        if (zip.mid(pos + 46, nameLength) != left) {
            second += zip.mid(pos, length);
            ++count;
        }
        pos += length;
    }
    QByteArray end64 = zip.mid(record, locator - record);
    putLittleEndian(&end64, 24, count, 8);
    putLittleEndian(&end64, 32, count, 8);
    putLittleEndian(&end64, 40, quint64(second.size()), 8);
    putLittleEndian(&end64, 48, quint64(offset + size), 8);
    QByteArray newLocator = zip.mid(locator, 20);
    putLittleEndian(&newLocator, 8, quint64(offset + size + second.size()), 8);
    return zip.left(offset + size) + second + end64 + newLocator + zip.mid(end);
}

} // namespace

// What a backup's entries may be and what they must carry: only files, folders and links, each
// unpacked as its headers describe it, from the central directory its end record declares.
class TestRestoreEntries : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> m_dir;
    QString m_container;
    QString m_data;
    QMap<QString, QString> m_oldTree;

    QString path(const QString& name) const { return m_dir->path(name); }

    QString writeBackup(const QString& name, const QByteArray& zip) const
    {
        const QString file = path(QStringLiteral("backups/") + name);
        return writeFile(file, encryptBackup(zip, password)) ? file : QString();
    }

    bool dataUntouched() const
    {
        return treeSnapshot(m_data) == m_oldTree && entriesOf(m_container) == QStringList{QStringLiteral("Data")};
    }

    bool resetData() const
    {
        return QDir(m_data).removeRecursively() && writeFile(m_data + QStringLiteral("/alt.txt"), "alte Daten") &&
            writeFile(m_data + QStringLiteral("/Ordner/alt2.txt"), "alt 2");
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<ScratchDir>();
        QVERIFY(m_dir->isValid());
        m_container = path(QStringLiteral("container"));
        m_data = m_container + QStringLiteral("/Data");
        QVERIFY(resetData());
        m_oldTree = treeSnapshot(m_data);
    }

    void cleanup() { m_dir.reset(); }

    void mutatedEntry_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("change");
        QTest::addColumn<qint64>("value");
        const QByteArray file("Data/neu.txt");
        const QByteArray empty("Data/leer.txt");
        const QByteArray folder("Data/Ordner/");
        const QByteArray link("Data/verweis");
        const QString type = QStringLiteral("type");
        QTest::newRow("a file that its central record calls a link") << file << type << qint64(0120000);
        QTest::newRow("a link that its central record calls a file") << link << type << qint64(0100000);
        QTest::newRow("a link whose central record names no Unix host") << link << QStringLiteral("host") << qint64(2);
        QTest::newRow("a file made a FIFO") << file << type << qint64(0010000);
        QTest::newRow("a file made a socket") << file << type << qint64(0140000);
        QTest::newRow("a file made a character device") << file << type << qint64(0020000);
        QTest::newRow("a file made a block device") << file << type << qint64(0060000);
        QTest::newRow("a file of a type no file system knows") << file << type << qint64(0110000);
        QTest::newRow("a link made a character device") << link << type << qint64(0020000);
        QTest::newRow("a link whose target holds a NUL byte") << link << QStringLiteral("link nul") << qint64(3);
        QTest::newRow("a folder with data") << folder << QStringLiteral("folder data") << qint64(4);
        QTest::newRow("an empty file with a CRC-32") << empty << QStringLiteral("crc") << qint64(0x1234abcd);
        QTest::newRow("a CRC-32 that the data does not have")
            << file << QStringLiteral("crc") << qint64(crc32Of("neue Daten") ^ 0x10);
        QTest::newRow("an uncompressed size that the data does not have")
            << file << QStringLiteral("uncompressed size") << qint64(11);
        QTest::newRow("a central directory where the end record does not declare it")
            << QByteArray() << QStringLiteral("second directory") << qint64(0);
        QTest::newRow("a ZIP64 end record that declares another central directory")
            << file << QStringLiteral("second ZIP64 directory") << qint64(0);
    }

    // One entry changed so that every header still agrees with the others: the restore fails
    // and Data stays as it was. Unchanged, the same archive restores.
    void mutatedEntry()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QString, change);
        QFETCH(qint64, value);
        QList<ZipItem> items = baseItems();
        if (change == QLatin1String("second directory"))
            items.prepend({"Data/platz.bin", AE_IFREG, randomBytes(4000, 5)});
        const bool zip64 = change == QLatin1String("second ZIP64 directory");
        const QByteArray good = makeZip(items, zip64 ? "zip:compression=store,zip:zip64" : "zip:compression=store");
        const QString intact = writeBackup(QStringLiteral("Backup_2024-08-01_00-00-00.orlwen"), good);
        const QString reference = path(QStringLiteral("intact"));
        const ArchiveResult control = restoreBackup(intact, reference, password);
        QVERIFY2(control, codeName(control));
        QCOMPARE(treeSnapshot(reference + QStringLiteral("/Data")), treeOf(items));

        QByteArray zip = good;
        const ZipEntryLayout at = zipEntryLayout(zip, entry);
        QVERIFY(entry.isEmpty() || at.local >= 0);
        if (change == QLatin1String("type")) {
            const quint64 mode = littleEndian(zip, at.central + 40, 2);
            putLittleEndian(&zip, at.central + 40, (mode & 07777) | quint64(value), 2);
        } else if (change == QLatin1String("host")) {
            zip[at.central + 5] = char(value);
        } else if (change == QLatin1String("folder data")) {
            // The folder's "data" is the start of the next local header.
            for (const qsizetype record : {at.central + 20, at.local + 18})
                putLittleEndian(&zip, record, quint64(value), 4);
            for (const qsizetype record : {at.central + 24, at.local + 22})
                putLittleEndian(&zip, record, quint64(value), 4);
            const quint32 crc = crc32Of(zip.mid(at.data, value));
            putLittleEndian(&zip, at.central + 16, crc, 4);
            putLittleEndian(&zip, at.local + 14, crc, 4);
        } else if (change == QLatin1String("link nul")) {
            zip[at.data + value] = '\0';
            const quint32 crc = crc32Of(zip.mid(at.data, littleEndian(zip, at.central + 20, 4)));
            putLittleEndian(&zip, at.central + 16, crc, 4);
            putLittleEndian(&zip, at.local + 14, crc, 4);
        } else if (change == QLatin1String("crc")) {
            QCOMPARE(zip.mid(at.descriptor, 4), QByteArray("PK\x07\x08"));
            putLittleEndian(&zip, at.central + 16, quint64(value), 4);
            putLittleEndian(&zip, at.descriptor + 4, quint64(value), 4);
        } else if (change == QLatin1String("uncompressed size")) {
            QCOMPARE(zip.mid(at.descriptor, 4), QByteArray("PK\x07\x08"));
            putLittleEndian(&zip, at.central + 24, quint64(value), 4);
            putLittleEndian(&zip, at.local + 22, quint64(value), 4);
            putLittleEndian(&zip, at.descriptor + 12, quint64(value), 4);
        } else if (change == QLatin1String("second directory")) {
            zip = withSecondDirectory(good);
            QVERIFY(!zip.isEmpty());
        } else if (zip64) {
            zip = withSecondZip64Directory(good, entry);
            QVERIFY(!zip.isEmpty());
        }
        QVERIFY(zip != good);
        const QString backup = writeBackup(QStringLiteral("Backup_2024-08-02_00-00-00.orlwen"), zip);
        const ArchiveResult result = restoreBackup(backup, m_container, password);
        QCOMPARE(codeName(result), "archiveCreationFailed");
        QCOMPARE(treeSnapshot(m_data), m_oldTree);
        QCOMPARE(entriesOf(m_container), QStringList{QStringLiteral("Data")});
    }

    // Each bit that decides an entry's type flipped in turn (the central record's host and
    // version, the type bits and the DOS folder bit of its attributes, the data descriptor flag
    // of both headers, the version the local header needs): a restore either fails and leaves
    // Data as it was, or restores exactly the archive's tree.
    void everyTypeBitFlipped()
    {
        const QByteArray good = makeZip(baseItems());
        const QMap<QString, QString> expected = treeOf(baseItems());
        QList<std::pair<qsizetype, int>> bits; // byte, bit
        for (const ZipItem& item : baseItems()) {
            const ZipEntryLayout at = zipEntryLayout(good, item.path);
            QVERIFY(at.central >= 0);
            for (int bit = 0; bit < 16; ++bit)
                bits.append({at.central + 4 + bit / 8, bit % 8}); // version made by
            for (int bit = 4; bit < 8; ++bit)
                bits.append({at.central + 41, bit}); // the mode's type
            bits.append({at.central + 38, 4}); // the DOS folder bit
            bits.append({at.central + 8, 3}); // data descriptor
            bits.append({at.local + 6, 3});
            for (int bit = 0; bit < 8; ++bit)
                bits.append({at.local + 4, bit}); // version needed to extract
        }
        int restored = 0;
        int refused = 0;
        for (const auto& [byte, bit] : bits) {
            QByteArray zip = good;
            zip[byte] = char(zip[byte] ^ (1 << bit));
            const QString backup = writeBackup(QStringLiteral("Backup_2024-09-02_00-00-00.orlwen"), zip);
            const ArchiveResult result = restoreBackup(backup, m_container, password);
            const QByteArray context = QStringLiteral("bit %1 of byte %2").arg(bit).arg(byte).toUtf8();
            if (!result) {
                ++refused;
                QVERIFY2(dataUntouched(), context.constData());
                continue;
            }
            ++restored;
            QVERIFY2(treeSnapshot(m_data) == expected, context.constData());
            QVERIFY(resetData());
        }
        qInfo("%d of %lld changed archives restored whole, %d refused", restored, qlonglong(bits.size()), refused);
        QVERIFY(restored > 0 && refused > 0);
    }

    void validArchive_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QString>("saturated"); // the end record's fields left to the ZIP64 end record
        const QByteArray zip64("zip:compression=store,zip:zip64");
        QTest::newRow("stored") << QByteArray("zip:compression=store") << QString();
        QTest::newRow("ZIP64 end records") << zip64 << QString();
        // As with more than 65535 entries, and with more than 4 GiB.
        QTest::newRow("ZIP64 end records, entries not counted") << zip64 << QStringLiteral("count");
        QTest::newRow("ZIP64 end records, nothing in the end record") << zip64 << QStringLiteral("all");
        QTest::newRow("types in the local headers")
            << QByteArray("zip:compression=store,zip:experimental") << QString();
    }

    // Archives as libarchive writes them, files, folders and links of every kind, restore whole.
    void validArchive()
    {
        QFETCH(QByteArray, options);
        QFETCH(QString, saturated);
        const QList<ZipItem> items{{"Data/", AE_IFDIR, {}},
                                   {"Data/neu.txt", AE_IFREG, "neue Daten"},
                                   {"Data/leer.txt", AE_IFREG, {}},
                                   {"Data/binär.bin", AE_IFREG, randomBytes(70000, 9)},
                                   {"Data/Ordner/", AE_IFDIR, {}},
                                   {"Data/Ordner/Leer/", AE_IFDIR, {}},
                                   {"Data/Ordner/hoch", AE_IFLNK, "../neu.txt"},
                                   {"Data/absolut", AE_IFLNK, "/nirgends/ziel"},
                                   {"Data/ordner-verweis", AE_IFLNK, "Ordner"}};
        QByteArray zip = makeZip(items, options.constData());
        if (!saturated.isEmpty()) {
            const qsizetype end = zip.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
            QCOMPARE(zip.mid(end - 20, 4), QByteArrayLiteral("PK\x06\x07"));
            putLittleEndian(&zip, end + 8, 0xFFFF, 2);
            putLittleEndian(&zip, end + 10, 0xFFFF, 2);
            if (saturated == QLatin1String("all")) {
                putLittleEndian(&zip, end + 12, 0xFFFFFFFF, 4);
                putLittleEndian(&zip, end + 16, 0xFFFFFFFF, 4);
            }
        }
        const QString backup = writeBackup(QStringLiteral("Backup_2024-10-01_00-00-00.orlwen"), zip);
        const ArchiveResult result = restoreBackup(backup, m_container, password);
        QVERIFY2(result, codeName(result));
        QCOMPARE(treeSnapshot(m_data), treeOf(items));
    }

    // A backup that the app made before these checks existed restores as it did.
    void earlierBackupRestores()
    {
        const QString fixture = QStringLiteral(TARN_ARCHIVE_FIXTURES "/Backup_2026-12-10_14-43-07.orlwen");
        QVERIFY(QFile::exists(fixture));
        const QString backup = path(QStringLiteral("backups/Backup_2026-12-10_14-43-07.orlwen"));
        QVERIFY(QDir().mkpath(path(QStringLiteral("backups"))));
        QVERIFY(QFile::copy(fixture, backup));
        const ArchiveResult result = restoreBackup(backup, m_container, password);
        QVERIFY2(result, codeName(result));
        const auto sha = [](const char* hex) { return QStringLiteral("f:") + QLatin1String(hex); };
        const QMap<QString, QString> expected{
            {QStringLiteral("notiz.txt"), sha("f950375066d74787f31cbd8f9f91c71819357cad243fb9d4a0d9ef4fa76709e0")},
            {QStringLiteral("leer.txt"), sha("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855")},
            {QStringLiteral("binaer.bin"), sha("4345361085c730756d843f13849c50a996fe2f1fac3a7ac05fb063bb743a423e")},
            {QStringLiteral("Ärger ü.txt"), sha("f061e54d715e7f706b32e8c55b0785ee090cd96696866940aad621d6c3fb5cc5")},
            {QStringLiteral("Ordner"), QStringLiteral("d")},
            {QStringLiteral("Ordner/Tief"), QStringLiteral("d")},
            {QStringLiteral("Ordner/Tief/datei.txt"),
             sha("5dcc98ca7b9d4a7910f26ae92a6ccb8310b0033734be29de417703b21baa7721")},
            {QStringLiteral("Ordner/hoch"), QStringLiteral("l:../notiz.txt")},
            {QStringLiteral("Leerer Ordner"), QStringLiteral("d")},
            {QStringLiteral("verweis"), QStringLiteral("l:notiz.txt")},
            {QStringLiteral("ordner-verweis"), QStringLiteral("l:Ordner")},
            {QStringLiteral("absolut"), QStringLiteral("l:/nirgends/ziel")},
            {QStringLiteral("ins-leere"), QStringLiteral("l:fehlt.txt")}};
        QCOMPARE(treeSnapshot(m_data), expected);
    }
};

TARN_TEST_MAIN(TestRestoreEntries)
#include "TestRestoreEntries.moc"
