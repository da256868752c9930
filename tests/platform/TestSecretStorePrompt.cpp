#include "platform/secrets/SecretStore.h"
#include "tests/support/KeyringPrompt.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QtConcurrent>

#include <memory>

using namespace std::chrono_literals;

// A real gnome-keyring whose default collection gets locked, with its real prompter on a private
// X server: a call that needs a locked item makes the keyring show its unlock prompt, waits for
// the answer however long it takes, and succeeds once the prompt unlocked the keyring; a
// dismissed prompt fails the call as locked, and the next call asks again.
class TestSecretStorePrompt : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateDisplay> m_display;
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<KeyringPrompt> m_prompt;
    const SecretStore::Attributes m_item{{SecretStore::serviceAttribute, QStringLiteral("test.Prompt")},
                                         {SecretStore::accountAttribute, QStringLiteral("key")}};
    const SecretStore::Attributes m_newItem{{SecretStore::serviceAttribute, QStringLiteral("test.Prompt")},
                                            {SecretStore::accountAttribute, QStringLiteral("new")}};
    static constexpr std::chrono::milliseconds deadline{200};

    using Outcome = Result<std::optional<QString>, SecretStoreError>;

    // Runs one call off this thread, as the application's store threads do.
    QFuture<Outcome> start(const QString& call)
    {
        return QtConcurrent::run([this, call]() -> Outcome {
            if (call == QLatin1String("lookup")) {
                return SecretStore::lookup(m_item);
            }
            Result<void, SecretStoreError> changed = call == QLatin1String("store")
                ? SecretStore::store(m_item, QStringLiteral("label"), QStringLiteral("Neu1"))
                : call == QLatin1String("store new")
                ? SecretStore::store(m_newItem, QStringLiteral("label"), QStringLiteral("Neu2"))
                : SecretStore::clear(m_item);
            if (!changed) {
                return fail(changed.error());
            }
            return std::optional<QString>();
        });
    }

    // What the two items hold, read with the keyring unlocked.
    QString stored(const SecretStore::Attributes& item)
    {
        const auto found = SecretStore::lookup(item, SecretStore::Unlock::ask, std::chrono::seconds(10));
        return !found ? QStringLiteral("<error>") : found->value_or(QStringLiteral("<absent>"));
    }

    static bool wait(const QFuture<Outcome>& call)
    {
        return QTest::qWaitFor([call] { return call.isFinished(); }, 30000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startPromptingKeyring(m_display, m_keyring, m_prompt));
        // Far shorter than any answer at the keyboard: the prompt must not be cut short by it.
        SecretStore::setCallDeadline(deadline);
    }

    void init()
    {
        // The setup's own calls get time enough on a busy machine; the short deadline is for the tests.
        const std::chrono::milliseconds setup{10000};
        QVERIFY(m_keyring->unlock());
        QVERIFY(SecretStore::store(m_item, QStringLiteral("label"), QStringLiteral("Vorher1"), setup));
        QVERIFY(SecretStore::clear(m_newItem, setup));
        QVERIFY(m_keyring->lock());
    }

    void cleanupTestCase()
    {
        m_prompt.reset();
        m_keyring.reset();
        m_display.reset();
    }

    void calls_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("found"); // the answer of a lookup
        QTest::addColumn<QString>("item"); // what the item holds afterwards
        QTest::addColumn<QString>("newItem");
        QTest::newRow("lookup") << "lookup"
                                << "Vorher1"
                                << "Vorher1"
                                << "<absent>";
        QTest::newRow("store over a locked item") << "store"
                                                  << "<absent>"
                                                  << "Neu1"
                                                  << "<absent>";
        QTest::newRow("store into the locked keyring") << "store new"
                                                       << "<absent>"
                                                       << "Vorher1"
                                                       << "Neu2";
        QTest::newRow("clear") << "clear"
                               << "<absent>"
                               << "<absent>"
                               << "<absent>";
    }

    void promptAnswered_data() { calls_data(); }

    void promptAnswered()
    {
        QFETCH(QString, call);
        QFETCH(QString, found);
        QFETCH(QString, item);
        QFETCH(QString, newItem);
        QElapsedTimer clock;
        clock.start();
        const QFuture<Outcome> running = start(call);
        QVERIFY(m_prompt->waitForWindow());
        QCOMPARE(m_prompt->count(), 1);
        QVERIFY(!running.isFinished());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QVERIFY(wait(running));
        // Answered long after the deadline, and still the call's own answer.
        QVERIFY(clock.elapsed() > 2 * deadline.count());
        const Outcome outcome = running.result();
        QVERIFY2(outcome, outcome ? "" : SecretStoreError::name(outcome.error().code));
        QCOMPARE(outcome->value_or(QStringLiteral("<absent>")), found);
        QVERIFY(!m_keyring->isLocked());
        QVERIFY(m_prompt->waitUntilGone());
        QCOMPARE(stored(m_item), item);
        QCOMPARE(stored(m_newItem), newItem);
    }

    void promptDismissed_data() { calls_data(); }

    // A dismissed prompt fails the call and changes nothing; the next call asks again.
    void promptDismissed()
    {
        QFETCH(QString, call);
        QFETCH(QString, item);
        QFETCH(QString, newItem);
        const QFuture<Outcome> refused = start(call);
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->dismiss());
        QVERIFY(wait(refused));
        const Outcome outcome = refused.result();
        QVERIFY(!outcome);
        QCOMPARE(outcome.error().code, SecretStoreError::locked);
        QCOMPARE(outcome.error().message(),
                 QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren."));
        QVERIFY(m_keyring->isLocked());
        QVERIFY(m_prompt->waitUntilGone());

        const QFuture<Outcome> again = start(call);
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QVERIFY(wait(again));
        QVERIFY(again.result());
        QCOMPARE(stored(m_item), item);
        QCOMPARE(stored(m_newItem), newItem);
    }

    // Calls that need the keyring while its prompt is open wait for that prompt: one answer serves
    // them all, and no second prompt follows, whether it unlocked or was dismissed.
    void onePromptServesEveryCall_data()
    {
        QTest::addColumn<bool>("unlocked");
        QTest::newRow("answered") << true;
        QTest::newRow("dismissed") << false;
    }

    void onePromptServesEveryCall()
    {
        QFETCH(bool, unlocked);
        const QList<QFuture<Outcome>> calls{start(QStringLiteral("lookup")), start(QStringLiteral("lookup")),
                                            start(QStringLiteral("store"))};
        QVERIFY(m_prompt->waitForWindow());
        // The later calls found the keyring locked while the first one's prompt was open.
        QTRY_COMPARE(SecretStore::callsWaitingForUser(), 3);
        QCOMPARE(m_prompt->count(), 1);
        QVERIFY(unlocked ? m_prompt->answer(PrivateKeyring::password()) : m_prompt->dismiss());
        for (const QFuture<Outcome>& call : calls) {
            QVERIFY(wait(call));
            const Outcome outcome = call.result();
            QCOMPARE(outcome.hasValue(), unlocked);
            if (!unlocked) {
                QCOMPARE(outcome.error().code, SecretStoreError::locked);
            }
        }
        QCOMPARE(SecretStore::callsWaitingForUser(), 0);
        // The answered prompt's window goes a moment later; no second one opens.
        QTRY_COMPARE_WITH_TIMEOUT(m_prompt->count(), 0, 10000);
        QCOMPARE(m_keyring->isLocked(), !unlocked);
    }
};

TARN_TEST_MAIN(TestSecretStorePrompt)
#include "TestSecretStorePrompt.moc"
