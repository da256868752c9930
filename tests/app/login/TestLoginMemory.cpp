#include "app/login/PasswordEntryView.h"
#include "app/shell/WindowContent.h"
#include "kit/inputs/SecureInputView.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/MemoryScan.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>

using namespace ShellTestSupport;

// The app password the login reads from the keyring is nowhere in the process's memory: the login
// keeps a digest, and the text is cleansed where it was read. The test knows the password only
// masked, and another program stores it, so that no copy of the test's own can be found.
class TestLoginMemory : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<AppDelegate> m_delegate;
    QByteArray m_maskedUtf8;
    QByteArray m_maskedUtf16;

    PasswordEntryView* login() const { return m_delegate->windowContent()->passwordEntryView(); }

    void enter(const QString& text) { typeAndSubmit(login()->passwordField(), text); }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        shortenTimings();
        QApplication::setQuitOnLastWindowClosed(false);

        // A fresh password of letters and digits, kept masked only; the store gets it from printf.
        const QByteArray alphabet = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
        QString escaped;
        for (int i = 0; i < 16; ++i) {
            const auto index = QRandomGenerator::global()->bounded(int(alphabet.size()));
            const auto maskedChar = char(static_cast<unsigned char>(alphabet[index]) ^ MemoryScan::mask);
            m_maskedUtf8.append(maskedChar);
            m_maskedUtf16.append(maskedChar).append(char(MemoryScan::mask));
            escaped += QStringLiteral("\\0%1").arg(static_cast<unsigned char>(maskedChar) ^ MemoryScan::mask, 3, 8,
                                                   QLatin1Char('0'));
        }
        QProcess store;
        store.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("printf '%b' '%1' | secret-tool store --label=app service %2 account %3")
                         .arg(escaped, AppPassword::service(), AppPassword::key())});
        QVERIFY(store.waitForFinished(20000));
        QCOMPARE(store.exitCode(), 0);
    }

    void cleanupTestCase()
    {
        m_delegate.reset();
        QVERIFY(storeAppPassword(std::nullopt));
        m_keyring.reset();
    }

    void storedPasswordIsNotKept()
    {
        m_delegate = launch();
        QVERIFY(m_delegate && !m_delegate->isAuthenticated());
        QTRY_COMPARE(login()->storedPassword(), PasswordEntryView::StoredPassword::present);
        // A wrong entry is compared with what the login keeps.
        enter(QStringLiteral("falsch"));
        QTRY_COMPARE(m_delegate->windowContent()->warningText(), std::optional(PasswordEntryView::wrongPasswordText));

        QCOMPARE(MemoryScan::count(m_maskedUtf16), 0);
        QCOMPARE(MemoryScan::count(m_maskedUtf8), 0);

        // The digest still tells the right password.
        QString password;
        for (const char maskedChar : std::as_const(m_maskedUtf8)) {
            password += QLatin1Char(char(static_cast<unsigned char>(maskedChar) ^ MemoryScan::mask));
        }
        const QPointer<SecureInputView> field = login()->passwordField();
        enter(password);
        QTRY_VERIFY(m_delegate->isAuthenticated());
        // The field lets go of the accepted password at once, not when the login screen goes.
        QVERIFY(field);
        QCOMPARE(field->text(), QString());
    }
};

TARN_TEST_GUI_MAIN(TestLoginMemory)
#include "TestLoginMemory.moc"
