#include "tests/support/TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

const QString packageName = QStringLiteral("tarn-backup-manager");
const QString program = QStringLiteral("usr/bin/tarn-backup-manager");
const QString launcher = QStringLiteral("usr/share/applications/tarn-backup-manager.desktop");
const QString icon = QStringLiteral("usr/share/icons/hicolor/scalable/apps/tarn-backup-manager.svg");
const QString metainfo = QStringLiteral("usr/share/metainfo/" TARN_METAINFO_NAME);
const QString copyright = QStringLiteral("usr/share/doc/tarn-backup-manager/copyright");
const QString changelog = QStringLiteral("usr/share/doc/tarn-backup-manager/changelog.gz");
const QString manualPage = QStringLiteral("usr/share/man/man1/tarn-backup-manager.1.gz");

struct Run
{
    bool started = false;
    int exitCode = -1;
    QString output; // standard output and error, in order
};

Run run(const QString& command, const QStringList& arguments, const QString& workingDirectory = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDirectory.isEmpty()) {
        process.setWorkingDirectory(workingDirectory);
    }
    // Tools answer in English, whatever the test's locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(command, arguments);
    Run result;
    result.started = process.waitForStarted();
    if (result.started && process.waitForFinished(240000) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

// The package names of a Depends-style field, version constraints and alternatives' bars dropped.
QStringList packageNames(const QString& field)
{
    QStringList names;
    for (const QString& relation : field.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (const QString& alternative : relation.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            names << alternative.trimmed().section(QLatin1Char(' '), 0, 0).section(QLatin1Char(':'), 0, 0);
        }
    }
    return names;
}

// The permission bits of a file, as chmod writes them.
int mode(const QString& path)
{
    const QFile::Permissions permissions = QFileInfo(path).permissions();
    int bits = 0;
    const QList<QPair<QFile::Permission, int>> table{
        {QFile::ReadOwner, 0400}, {QFile::WriteOwner, 0200}, {QFile::ExeOwner, 0100},
        {QFile::ReadGroup, 040},  {QFile::WriteGroup, 020},  {QFile::ExeGroup, 010},
        {QFile::ReadOther, 04},   {QFile::WriteOther, 02},   {QFile::ExeOther, 01}};
    for (const auto& [permission, bit] : table) {
        if (permissions.testFlag(permission)) {
            bits |= bit;
        }
    }
    return bits;
}

// One element of the metainfo file: its text by language ("" for the untranslated one).
struct Texts
{
    QList<QPair<QString, QString>> entries;

    QString text(const QString& language) const
    {
        for (const auto& [lang, text] : entries) {
            if (lang == language) {
                return text;
            }
        }
        return QString();
    }
    int count(const QString& language) const
    {
        return int(std::count_if(entries.begin(), entries.end(),
                                 [&language](const auto& entry) { return entry.first == language; }));
    }
};

} // namespace

// The Debian package that cpack makes from this build, unpacked with dpkg -x into a scratch root: its
// control fields, its files, the launcher entry and the software-centre entry.
class TestDebianPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_deb;
    QString m_root;
    QMap<QString, QString> m_control;
    QString m_architecture;

    QString installed(const QString& path) const { return m_root + QLatin1Char('/') + path; }

    // Text elements of the metainfo file by name; a description's paragraphs count one each.
    QMap<QString, Texts> metainfoTexts(QString* error) const
    {
        QFile file(installed(metainfo));
        QMap<QString, Texts> texts;
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.errorString();
            return texts;
        }
        static const QStringList containers{QStringLiteral("component"),   QStringLiteral("description"),
                                            QStringLiteral("screenshots"), QStringLiteral("screenshot"),
                                            QStringLiteral("provides"),    QStringLiteral("categories"),
                                            QStringLiteral("languages")};
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || containers.contains(xml.name())) {
                continue;
            }
            const QString language = xml.attributes().value(QLatin1String("xml:lang")).toString();
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString key = xml.name().toString() + (type.isEmpty() ? QString() : QLatin1Char(':') + type);
            texts[key].entries.append({language, xml.readElementText().simplified()});
        }
        if (xml.hasError()) {
            *error = xml.errorString();
        }
        return texts;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_scratch.isValid());
        const Run cpack = run(QStringLiteral(TARN_CPACK_COMMAND),
                              {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                               QStringLiteral(TARN_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                               m_scratch.filePath(QStringLiteral("out"))},
                              QStringLiteral(TARN_BUILD_DIR));
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QStringList debs =
            QDir(m_scratch.filePath(QStringLiteral("out"))).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = m_scratch.filePath(QStringLiteral("out/") + debs.first());

        m_root = m_scratch.filePath(QStringLiteral("root"));
        const Run unpack = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root});
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));

        const Run fields = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb});
        QVERIFY2(fields.exitCode == 0, qPrintable(fields.output));
        QString field;
        for (const QString& line : fields.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1Char(' '))) {
                m_control[field] += QLatin1Char('\n') + line.mid(1);
            } else {
                field = line.section(QLatin1Char(':'), 0, 0);
                m_control[field] = line.section(QLatin1Char(':'), 1).trimmed();
            }
        }
        const Run architecture = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
        QCOMPARE(architecture.exitCode, 0);
        m_architecture = architecture.output.trimmed();
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Package") << "Package" << QStringLiteral("^tarn-backup-manager$");
        QTest::newRow("Version") << "Version" << QStringLiteral("^" TARN_VERSION "$");
        QTest::newRow("Section") << "Section" << QStringLiteral("^utils$");
        QTest::newRow("Maintainer") << "Maintainer" << QStringLiteral("^[^<>]+ <[^<>@]+@[^<>@]+>$");
        QTest::newRow("Homepage") << "Homepage" << QStringLiteral("^https://");
        // A German summary line and a wrapped long text below it.
        QTest::newRow("Description") << "Description"
                                     << QStringLiteral(
                                            "^Sichert die Daten der Betreuungssoftware\n(.{1,79}\n)*.{1,79}$");
    }

    void controlFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const QRegularExpression expected(pattern);
        QVERIFY2(expected.match(m_control.value(field)).hasMatch(),
                 qPrintable(field + QStringLiteral(": ") + m_control.value(field)));
    }

    void nameArchitectureAndFileName()
    {
        QCOMPARE(m_control.value(QStringLiteral("Architecture")), m_architecture);
        // The name that `apt install ./tarn-backup-manager_*.deb` and the update feed expect.
        QCOMPARE(QFileInfo(m_deb).fileName(),
                 QStringLiteral("%1_%2_%3.deb").arg(packageName, QStringLiteral(TARN_VERSION), m_architecture));
    }

    void installsItsFilesOnly()
    {
        QStringList files;
        QDirIterator it(m_root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << QDir(m_root).relativeFilePath(it.next());
        }
        files.sort();
        QStringList expected{program, launcher, icon, metainfo, copyright, changelog, manualPage};
        expected.sort();
        QCOMPARE(files, expected);

        QCOMPARE(mode(installed(program)), 0755);
        for (const QString& data : {launcher, icon, metainfo, copyright, changelog, manualPage}) {
            QCOMPARE(mode(installed(data)), 0644);
        }

        // Every entry belongs to root, whoever built the package.
        const Run listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), m_deb});
        QCOMPARE(listing.exitCode, 0);
        const QStringList entries = listing.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!entries.isEmpty());
        for (const QString& entry : entries) {
            QCOMPARE(entry.simplified().section(QLatin1Char(' '), 1, 1), QStringLiteral("root/root"));
        }
    }

    void programIsStrippedAndFindsItsLibraries()
    {
        const Run sections = run(QStringLiteral("readelf"), {QStringLiteral("-S"), installed(program)});
        QCOMPARE(sections.exitCode, 0);
        QVERIFY(sections.output.contains(QLatin1String(".text")));
        QVERIFY2(!sections.output.contains(QLatin1String(".debug_info")), "debug information was shipped");

        const Run libraries = run(QStringLiteral("ldd"), {installed(program)});
        QCOMPARE(libraries.exitCode, 0);
        QVERIFY2(!libraries.output.contains(QLatin1String("not found")), qPrintable(libraries.output));
    }

    // Debian's own checker finds neither an error nor a warning.
    void lintianFindsNothing()
    {
        const Run lintian = run(QStringLiteral("lintian"),
                                {QStringLiteral("--fail-on"), QStringLiteral("error,warning"),
                                 QStringLiteral("--tag-display-limit"), QStringLiteral("0"), m_deb});
        QVERIFY2(lintian.started, "lintian is missing");
        QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.output));
        const QRegularExpression tag(QStringLiteral("^[EW]: "), QRegularExpression::MultilineOption);
        QVERIFY2(!tag.match(lintian.output).hasMatch(), qPrintable(lintian.output));
    }

    // Built with Debian's hardening, as Debian 12's own programs are (its build flags give no control-flow
    // protection on this architecture), and with no RUNPATH.
    void programIsHardened()
    {
        const Run check =
            run(QStringLiteral("hardening-check"), {QStringLiteral("--nocfprotection"), installed(program)});
        QVERIFY2(check.started, "hardening-check is missing");
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));

        const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), installed(program)});
        QCOMPARE(dynamic.exitCode, 0);
        QVERIFY2(!dynamic.output.contains(QLatin1String("RUNPATH")) && !dynamic.output.contains(QLatin1String("RPATH")),
                 qPrintable(dynamic.output));
    }

    // Each library the program links comes from a package it depends on.
    void linkedLibrariesAreDependencies()
    {
        const QStringList depends = packageNames(m_control.value(QStringLiteral("Depends")));
        const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), installed(program)});
        QCOMPARE(dynamic.exitCode, 0);
        QStringList needed;
        static const QRegularExpression neededLine(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]"));
        for (auto match = neededLine.globalMatch(dynamic.output); match.hasNext();) {
            needed << match.next().captured(1);
        }
        QVERIFY(needed.contains(QLatin1String("libQt6Widgets.so.6")));
        QVERIFY(needed.contains(QLatin1String("libsecret-1.so.0")));

        const Run resolved = run(QStringLiteral("ldd"), {installed(program)});
        QCOMPARE(resolved.exitCode, 0);
        static const QRegularExpression resolvedLine(QStringLiteral("^\\s*(\\S+) => (\\S+)"),
                                                     QRegularExpression::MultilineOption);
        QMap<QString, QString> paths;
        for (auto match = resolvedLine.globalMatch(resolved.output); match.hasNext();) {
            const auto found = match.next();
            paths.insert(found.captured(1), found.captured(2));
        }
        for (const QString& library : std::as_const(needed)) {
            QVERIFY2(paths.contains(library), qPrintable(library));
            // dpkg knows a library of the merged /usr by the path its package ships.
            const QString path = paths.value(library);
            const QString canonical = QFileInfo(path).canonicalFilePath();
            QStringList candidates{path, canonical};
            for (const QString& candidate : QStringList(candidates)) {
                if (candidate.startsWith(QLatin1String("/usr/lib/"))) {
                    candidates << candidate.mid(4);
                } else if (candidate.startsWith(QLatin1String("/lib/"))) {
                    candidates << QStringLiteral("/usr") + candidate;
                }
            }
            QString owner;
            for (const QString& candidate : std::as_const(candidates)) {
                const Run search = run(QStringLiteral("dpkg-query"), {QStringLiteral("--search"), candidate});
                if (search.exitCode == 0) {
                    owner = search.output.section(QLatin1Char(':'), 0, 0).trimmed();
                    break;
                }
            }
            QVERIFY2(!owner.isEmpty(), qPrintable(QStringLiteral("no package ships ") + path));
            QVERIFY2(depends.contains(owner), qPrintable(library + QStringLiteral(" comes from ") + owner));
        }
    }

    void runtimeDependencies_data()
    {
        QTest::addColumn<QString>("package");
        QTest::newRow("Secret Service") << "gnome-keyring";
        QTest::newRow("Roboto") << "fonts-roboto";
        QTest::newRow("Helvetica as Nimbus Sans") << "fonts-urw-base35";
        QTest::newRow("Qt's German texts") << "qt6-translations-l10n";
        QTest::newRow("SVG icons") << "libqt6svg6";
    }

    // What the program loads or talks to at run time without linking it.
    void runtimeDependencies()
    {
        QFETCH(QString, package);
        QVERIFY2(packageNames(m_control.value(QStringLiteral("Depends"))).contains(package),
                 qPrintable(m_control.value(QStringLiteral("Depends"))));
    }

    // Every name in Depends is a Debian package (this machine has them all, as it runs the program).
    void dependenciesArePackages()
    {
        const QStringList depends = packageNames(m_control.value(QStringLiteral("Depends")));
        QVERIFY(!depends.isEmpty());
        for (const QString& name : depends) {
            const Run status =
                run(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("-f=${Status}"), name});
            QVERIFY2(status.output.contains(QLatin1String("install ok installed")),
                     qPrintable(name + QStringLiteral(": ") + status.output));
        }
    }

    void launcherEntry()
    {
        const Run validation = run(QStringLiteral("desktop-file-validate"), {installed(launcher)});
        QVERIFY2(validation.exitCode == 0 && !validation.output.contains(QLatin1String("error")) &&
                     !validation.output.contains(QLatin1String("warning")),
                 qPrintable(validation.output));

        QFile file(installed(launcher));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QMap<QString, QString> keys;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0) {
                keys.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
            }
        }
        QCOMPARE(QStringLiteral("usr/bin/") + keys.value(QStringLiteral("Exec")), program);
        QCOMPARE(QStringLiteral("usr/share/icons/hicolor/scalable/apps/") + keys.value(QStringLiteral("Icon")) +
                     QStringLiteral(".svg"),
                 icon);
        QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Tarn-Backup-Manager"));
        // One main window: the desktop offers no "new window".
        QCOMPARE(keys.value(QStringLiteral("X-GNOME-SingleWindow")), QStringLiteral("true"));
    }

    void metainfoIsValid()
    {
        // No look-ups on the network: the screenshots' host is not reached from the tests.
        const Run validation = run(QStringLiteral("appstreamcli"),
                                   {QStringLiteral("validate"), QStringLiteral("--no-net"), installed(metainfo)});
        QVERIFY2(validation.exitCode == 0, qPrintable(validation.output));
        static const QRegularExpression problem(QStringLiteral("^[EW]: "), QRegularExpression::MultilineOption);
        QVERIFY2(!problem.match(validation.output).hasMatch(), qPrintable(validation.output));
    }

    void metainfoNamesThePackagedFiles()
    {
        QString error;
        const QMap<QString, Texts> texts = metainfoTexts(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString id = texts.value(QStringLiteral("id")).text(QString());
        QCOMPARE(id + QStringLiteral(".metainfo.xml"), QFileInfo(metainfo).fileName());
        QCOMPARE(texts.value(QStringLiteral("launchable:desktop-id")).text(QString()), QFileInfo(launcher).fileName());
        QCOMPARE(texts.value(QStringLiteral("binary")).text(QString()), QFileInfo(program).fileName());
        QCOMPARE(texts.value(QStringLiteral("name")).text(QString()), QStringLiteral("Tarn-Backup-Manager"));
        QCOMPARE(texts.value(QStringLiteral("url:homepage")).text(QString()),
                 m_control.value(QStringLiteral("Homepage")));
    }

    void metainfoInGerman_data()
    {
        QTest::addColumn<QString>("element");
        QTest::newRow("summary") << "summary";
        QTest::newRow("description") << "p";
        QTest::newRow("screenshot captions") << "caption";
    }

    // Each text has its German form beside the untranslated one.
    void metainfoInGerman()
    {
        QFETCH(QString, element);
        QString error;
        const Texts texts = metainfoTexts(&error).value(element);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(texts.count(QString()) > 0);
        QCOMPARE(texts.count(QStringLiteral("de")), texts.count(QString()));
        for (int i = 0; i + 1 < texts.entries.size(); i += 2) {
            QCOMPARE(texts.entries.at(i).first, QString());
            QCOMPARE(texts.entries.at(i + 1).first, QStringLiteral("de"));
            QVERIFY(!texts.entries.at(i + 1).second.isEmpty());
            QVERIFY(texts.entries.at(i + 1).second != texts.entries.at(i).second);
        }
        if (element == QLatin1String("summary")) {
            QCOMPARE(texts.text(QStringLiteral("de")), QStringLiteral("Sichert die Daten der Betreuungssoftware"));
        }
    }

    // The pictures are the project's own, under docs/screenshots/ of its web site.
    void metainfoScreenshots()
    {
        QString error;
        const Texts images = metainfoTexts(&error).value(QStringLiteral("image"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(images.entries.size() >= 3);
        const QString site = m_control.value(QStringLiteral("Homepage"));
        for (const auto& [language, url] : images.entries) {
            QVERIFY2(url.startsWith(site + QStringLiteral("/docs/screenshots/")), qPrintable(url));
            const QString name = url.section(QLatin1Char('/'), -1);
            QVERIFY2(QFileInfo::exists(QStringLiteral(TARN_SOURCE_DIR "/docs/screenshots/") + name), qPrintable(name));
        }
    }
};

TARN_TEST_MAIN(TestDebianPackage)
#include "TestDebianPackage.moc"
