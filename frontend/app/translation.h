// The user's language: the front end's texts are English in the source; a catalogue
// "tarnwick_<language>.qm" installed beside the help pages translates them.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// Installs the catalogue of locale's languages found in dir, the first that loads. Answers
// whether one was installed; English, the source language, never needs one.
bool installTranslation(QCoreApplication& app, const QLocale& locale, const QString& dir);
