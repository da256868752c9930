#include "app/shell/GermanTranslations.h"
#include "tests/support/TestMain.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTranslator>

// Qt's own texts in German, under the tests' C locale: the folder chooser's buttons and labels that the
// application does not set itself.
class TestGermanTranslations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileDialogSpeaksGerman()
    {
        QVERIFY2(installGermanQtTranslations(), "Qt's German catalogue is missing: install qt6-translations-l10n");
        // A second call adds no second translator.
        QVERIFY(installGermanQtTranslations());
        QCOMPARE(qApp->findChildren<QTranslator*>().size(), 1);

        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::Directory);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
        QCOMPARE(dialog.labelText(QFileDialog::Reject), QStringLiteral("Abbrechen"));
        QCOMPARE(dialog.labelText(QFileDialog::LookIn), QStringLiteral("Suchen in:"));
    }
};

TARN_TEST_GUI_MAIN(TestGermanTranslations)
#include "TestGermanTranslations.moc"
