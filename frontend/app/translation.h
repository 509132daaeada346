// The user's language: the front end's texts are English in the source; a catalogue
// "tarnwick_<language>.qm" beside the program or the help pages translates them.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// Installs the catalogue of locale's languages found in dir, the first that loads. Answers
// whether one was installed; English, the source language, never needs one.
bool installTranslation(QCoreApplication& app, const QLocale& locale, const QString& dir);
// Qt's own texts (the buttons of message boxes and wizards) in locale's language, from Qt's
// translations where they are installed. Answers whether they were.
bool installQtTranslation(QCoreApplication& app, const QLocale& locale);
// The program's catalogue, looked up beside the program and then beside the help pages
// (<exeDir>/../share/tarnwick/translations, in the build tree as once installed), and Qt's own.
// Answers whether the program's was installed.
bool installTranslations(QCoreApplication& app, const QLocale& locale, const QString& exeDir);
