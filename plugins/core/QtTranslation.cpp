#include "QtTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace qttranslation {

QStringList folders()
{
    QStringList found;
    found << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    const QString qts = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (!qts.isEmpty() && !found.contains(qts))
        found << qts;
    return found;
}

QString install()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return QString();
    for (const QString &folder : folders()) {
        auto *translator = new QTranslator(application);
        if (translator->load(QLatin1String(kCatalogue), folder) && QCoreApplication::installTranslator(translator))
            return QDir(folder).filePath(QLatin1String(kCatalogue) + QLatin1String(".qm"));
        delete translator;
    }
    return QString();
}

} // namespace qttranslation
