#include "app/shell/GermanTranslations.h"

#include "platform/Diagnostics.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installGermanQtTranslations()
{
    static const QString name = QStringLiteral("tarn-german-qt-translations");
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) {
        return false;
    }
    if (application->findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly)) {
        return true;
    }
    auto* translator = new QTranslator(application);
    translator->setObjectName(name);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_de"), folder) || !QCoreApplication::installTranslator(translator)) {
        qCDebug(lcDiagnostics) << "Немецкие переводы Qt не найдены в папке" << folder;
        delete translator;
        return false;
    }
    return true;
}
