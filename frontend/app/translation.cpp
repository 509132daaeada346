#include "frontend/app/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installTranslation(QCoreApplication& app, const QLocale& locale, const QString& dir) {
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return false;
    auto* translator = new QTranslator(&app);  // lives as long as the application
    if (translator->load(locale, QStringLiteral("tarnwick"), QStringLiteral("_"), dir) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

bool installQtTranslation(QCoreApplication& app, const QLocale& locale) {
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return false;
    auto* translator = new QTranslator(&app);
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

bool installTranslations(QCoreApplication& app, const QLocale& locale, const QString& exeDir) {
    installQtTranslation(app, locale);
    for (const QString& dir : {exeDir, exeDir + QStringLiteral("/../share/tarnwick/translations")}) {
        if (installTranslation(app, locale, dir)) return true;
    }
    return false;
}
