#include "core/credentials/KeychainService.h"
#include "platform/AppIdentity.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(SecretStore::Stall)

// Runs against the Secret Service of the test session (gnome-keyring). Service names and flag
// keys are private to this executable, since tests run in parallel against one keyring.
class TestKeychainService : public QObject
{
    Q_OBJECT

    const QString m_prefix = QStringLiteral("test.TestKeychainService.");

    QString service(const char* name) const { return m_prefix + QLatin1String(name); }

    static QString read(const KeychainService& keychain, const QString& key)
    {
        const auto result = keychain.getString(key);
        if (!result) {
            return QStringLiteral("<error: %1>").arg(QLatin1String(SecretStoreError::name(result.error().code)));
        }
        return result->value_or(QStringLiteral("<absent>"));
    }

    // Stores raw bytes as an item's secret, as another program could have done.
    static bool storeRaw(const QStringList& attributes, const QByteArray& bytes)
    {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
                   QStringList{QStringLiteral("store"), QStringLiteral("--label=raw")} + attributes);
        if (!tool.waitForStarted()) {
            return false;
        }
        tool.write(bytes);
        tool.closeWriteChannel();
        return tool.waitForFinished() && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

private Q_SLOTS:
    void cleanup() { SecretStore::setCallDeadline(0ms); }

    void writeReadUpdateRemove_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("key");
        QTest::newRow("app password") << service("MasterPassword") << "masterPassword";
        QTest::newRow("archive password") << service("ZipPassword") << "zipPassword";
    }

    void writeReadUpdateRemove()
    {
        QFETCH(QString, service);
        QFETCH(QString, key);
        const KeychainService keychain(service);

        QCOMPARE(read(keychain, key), QStringLiteral("<absent>"));
        QVERIFY(keychain.set(QStringLiteral("erstesPasswort1"), key));
        QCOMPARE(read(keychain, key), QStringLiteral("erstesPasswort1"));

        QVERIFY(keychain.set(QStringLiteral("Zweites2ßÄ"), key));
        QCOMPARE(read(keychain, key), QStringLiteral("Zweites2ßÄ"));

        QVERIFY(keychain.remove(key));
        QCOMPARE(read(keychain, key), QStringLiteral("<absent>"));
        // Removing what is not stored succeeds.
        QVERIFY(keychain.remove(key));
    }

    void itemsAreKeptApartByServiceAndKey()
    {
        const KeychainService first(service("First"));
        const KeychainService second(service("Second"));
        QVERIFY(first.set(QStringLiteral("eins"), QStringLiteral("shared")));
        QVERIFY(second.set(QStringLiteral("zwei"), QStringLiteral("shared")));
        QVERIFY(first.set(QStringLiteral("drei"), QStringLiteral("other")));

        QCOMPARE(read(first, QStringLiteral("shared")), QStringLiteral("eins"));
        QCOMPARE(read(second, QStringLiteral("shared")), QStringLiteral("zwei"));
        QCOMPARE(read(second, QStringLiteral("other")), QStringLiteral("<absent>"));

        QVERIFY(first.remove(QStringLiteral("shared")));
        QCOMPARE(read(second, QStringLiteral("shared")), QStringLiteral("zwei"));
        QVERIFY(second.remove(QStringLiteral("shared")));
        QVERIFY(first.remove(QStringLiteral("other")));
    }

    void textSurvivesTheRoundTrip()
    {
        const KeychainService keychain(service("Text"));
        const QString text = QStringLiteral("Pässwörter € 😀 \t\n \"quoted\" 密码");
        QVERIFY(keychain.set(text, QStringLiteral("text")));
        QCOMPARE(read(keychain, QStringLiteral("text")), text);
        QVERIFY(keychain.set(QString(), QStringLiteral("text")));
        QCOMPARE(read(keychain, QStringLiteral("text")), QString());
        QVERIFY(keychain.remove(QStringLiteral("text")));
    }

    void absentKeyIsNoFailure()
    {
        const auto result = KeychainService(service("Absent")).getString(QStringLiteral("neverStored"));
        QVERIFY(result.hasValue());
        QVERIFY(!result->has_value());
    }

    void emptyServiceNameStandsForTheApplication()
    {
        const KeychainService unnamed{QString()};
        QCOMPARE(unnamed.service(), AppIdentity::bundleIdentifier());
        QVERIFY(unnamed.set(QStringLiteral("ohneName1"), QStringLiteral("unnamed")));
        QCOMPARE(read(KeychainService(AppIdentity::bundleIdentifier()), QStringLiteral("unnamed")),
                 QStringLiteral("ohneName1"));
        QVERIFY(unnamed.remove(QStringLiteral("unnamed")));
    }

    void undecodableTextIsAFailure()
    {
        const QString name = service("Raw");
        QVERIFY(storeRaw({QStringLiteral("service"), name, QStringLiteral("account"), QStringLiteral("raw")},
                         QByteArray("\xff\xfe\x80", 3)));
        const auto result = KeychainService(name).getString(QStringLiteral("raw"));
        QVERIFY(!result);
        QCOMPARE(result.error().code, SecretStoreError::notText);
        QVERIFY(KeychainService(name).remove(QStringLiteral("raw")));
    }

    void writeUpdatesAnItemOfAnotherWriter()
    {
        const QString name = service("Foreign");
        QVERIFY(storeRaw({QStringLiteral("service"), name, QStringLiteral("account"), QStringLiteral("key")}, "alt"));
        const KeychainService keychain(name);
        QCOMPARE(read(keychain, QStringLiteral("key")), QStringLiteral("alt"));
        QVERIFY(keychain.set(QStringLiteral("neu"), QStringLiteral("key")));
        QCOMPARE(read(keychain, QStringLiteral("key")), QStringLiteral("neu"));
        QVERIFY(keychain.remove(QStringLiteral("key")));
        QCOMPARE(read(keychain, QStringLiteral("key")), QStringLiteral("<absent>"));
    }

    void flagIsFoundWhateverTheService()
    {
        const QString key = m_prefix + QStringLiteral("flagAcrossServices");
        const KeychainService writer(service("FlagWriter"));
        const KeychainService reader(service("FlagReader"));

        QVERIFY(!reader.getBool(key));
        writer.setBool(true, key);
        QVERIFY(reader.getBool(key));
        QVERIFY(KeychainService{QString()}.getBool(key));
        reader.setBool(false, key);
        QVERIFY(!writer.getBool(key));
        writer.setBool(true, key);
        QVERIFY(writer.getBool(key));
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, key}}));
    }

    void flagWriteReplacesAnyEarlierItem()
    {
        // An item of the key that carries a service, as another writer may have left it.
        const QString key = m_prefix + QStringLiteral("flagReplaced");
        QVERIFY(SecretStore::store(
            {{SecretStore::serviceAttribute, service("Elsewhere")}, {SecretStore::accountAttribute, key}},
            QStringLiteral("old"), QStringLiteral("true")));
        const KeychainService keychain(service("Flag"));
        QVERIFY(keychain.getBool(key));
        keychain.setBool(false, key);
        QVERIFY(!keychain.getBool(key));
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, key}}));
    }

    void flagIsTrueOnlyForExactText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("true") << "true" << true;
        QTest::newRow("capital") << "True" << false;
        QTest::newRow("upper case") << "TRUE" << false;
        QTest::newRow("trailing blank") << "true " << false;
        QTest::newRow("leading blank") << " true" << false;
        QTest::newRow("one") << "1" << false;
        QTest::newRow("false") << "false" << false;
        QTest::newRow("empty") << "" << false;
    }

    void flagIsTrueOnlyForExactText()
    {
        QFETCH(QString, stored);
        QFETCH(bool, expected);
        const QString key = m_prefix + QStringLiteral("flagText");
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, key}}));
        QVERIFY(SecretStore::store({{SecretStore::accountAttribute, key}}, QStringLiteral("flag"), stored));
        QCOMPARE(KeychainService(service("FlagText")).getBool(key), expected);
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, key}}));
    }

    void asyncCallsAnswerOnTheGuiThread()
    {
        const KeychainService keychain(service("Async"));
        const QString key = QStringLiteral("asyncKey");
        const QString flag = m_prefix + QStringLiteral("asyncFlag");

        const auto absent = await(keychain.getStringAsync(key), this);
        QVERIFY(absent && absent->hasValue() && !absent->value().has_value());
        const auto stored = await(keychain.setAsync(QStringLiteral("Async1"), key), this);
        QVERIFY(stored && stored->hasValue());
        const auto found = await(keychain.getStringAsync(key), this);
        QVERIFY(found && found->hasValue());
        QCOMPARE(found->value(), std::optional<QString>(QStringLiteral("Async1")));
        const auto removed = await(keychain.removeAsync(key), this);
        QVERIFY(removed && removed->hasValue());
        QCOMPARE(read(keychain, key), QStringLiteral("<absent>"));

        QCOMPARE(await(keychain.getBoolAsync(flag), this), std::optional<bool>(false));
        QCOMPARE(await(keychain.setBoolAsync(true, flag), this), std::optional<bool>(true));
        QCOMPARE(await(keychain.getBoolAsync(flag), this), std::optional<bool>(true));
        QCOMPARE(await(keychain.setBoolAsync(false, flag), this), std::optional<bool>(true));
        QVERIFY(!keychain.getBool(flag));
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, flag}}));
    }

    void answerIsDroppedOnceTheCallerIsGone()
    {
        const KeychainService keychain(service("Gone"));
        QVERIFY(keychain.set(QStringLiteral("Da1"), QStringLiteral("key")));
        bool heard = false;
        auto caller = std::make_unique<QObject>();
        QFuture<Result<std::optional<QString>, SecretStoreError>> future =
            keychain.getStringAsync(QStringLiteral("key"));
        whenFinished(caller.get(), future, [&heard](const auto&) { heard = true; });
        caller.reset();
        QTRY_VERIFY(future.isFinished());
        QCoreApplication::processEvents();
        QVERIFY(!heard);
        QVERIFY(keychain.remove(QStringLiteral("key")));
    }

    // The store takes longer than the deadline; the GUI thread goes on and still gets an answer.
    void hungStoreAnswersWithinTheDeadline()
    {
        SecretStore::setCallDeadline(200ms);
        SecretStore::stallNextCalls(1, SecretStore::Stall::neverArrive);
        bool loopRan = false;
        QTimer::singleShot(0, this, [&loopRan] { loopRan = true; });
        const KeychainService keychain(service("Hung"));
        const auto answer = await(keychain.getStringAsync(QStringLiteral("key")), this);
        QVERIFY(loopRan);
        QVERIFY(answer && !answer->hasValue());
        QCOMPARE(answer->error().code, SecretStoreError::timedOut);
        // The store answers again afterwards (with the normal deadline: a loaded machine may need it).
        SecretStore::setCallDeadline(0ms);
        const auto again = await(keychain.getStringAsync(QStringLiteral("key")), this);
        QVERIFY(again && again->hasValue());
    }

    void timedOutChangeReportsWhatIsStored_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<SecretStore::Stall>("stall");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<QString>("stored");
        const auto late = SecretStore::Stall::answerLate;
        const auto lost = SecretStore::Stall::neverArrive;
        QTest::newRow("write answers late") << "set" << late << true << "neu";
        QTest::newRow("write lost") << "set" << lost << false << "alt";
        QTest::newRow("removal answers late") << "remove" << late << true << "<absent>";
        QTest::newRow("removal lost") << "remove" << lost << false << "alt";
        QTest::newRow("flag answers late") << "flag" << late << true << "true";
        QTest::newRow("flag lost") << "flag" << lost << false << "false";
    }

    void timedOutChangeReportsWhatIsStored()
    {
        QFETCH(QString, change);
        QFETCH(SecretStore::Stall, stall);
        QFETCH(bool, reported);
        QFETCH(QString, stored);
        const KeychainService keychain(service("Late"));
        const QString key = m_prefix + QStringLiteral("late");
        QVERIFY(keychain.set(QStringLiteral("alt"), key));
        keychain.setBool(false, key + QStringLiteral("Flag"));

        SecretStore::setCallDeadline(200ms);
        SecretStore::stallNextCalls(1, stall);
        if (change == QLatin1String("flag")) {
            QCOMPARE(await(keychain.setBoolAsync(true, key + QStringLiteral("Flag")), this), reported);
            QCOMPARE(keychain.getBool(key + QStringLiteral("Flag")) ? QStringLiteral("true") : QStringLiteral("false"),
                     stored);
        } else {
            const auto result = change == QLatin1String("set")
                ? await(keychain.setAsync(QStringLiteral("neu"), key), this)
                : await(keychain.removeAsync(key), this);
            QVERIFY(result.has_value());
            QCOMPARE(result->hasValue(), reported);
            if (!reported)
                QCOMPARE(result->error().code, SecretStoreError::timedOut);
            QCOMPARE(read(keychain, key), stored);
        }
        QVERIFY(keychain.remove(key));
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, key + QStringLiteral("Flag")}}));
    }

    void undecodableFlagReadsAsFalse()
    {
        const QString key = m_prefix + QStringLiteral("flagRaw");
        QVERIFY(storeRaw({QStringLiteral("account"), key}, QByteArray("true\xff", 5)));
        QVERIFY(!KeychainService(service("FlagRaw")).getBool(key));
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, key}}));
    }
};

TARN_TEST_MAIN(TestKeychainService)
#include "TestKeychainService.moc"
