#include "frontend/app/translation.h"

#include <QCoreApplication>
#include <QTranslator>

bool installTranslation(QCoreApplication& app, const QLocale& locale, const QString& dir) {
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return false;
    auto* translator = new QTranslator(&app);   // lives as long as the application
    if (translator->load(locale, QStringLiteral("tarnwick"), QStringLiteral("_"), dir) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}
