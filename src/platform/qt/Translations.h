#pragma once

#include <QLocale>

class QCoreApplication;

// Installs the program's translation for the language of the given locale
// (by default the user's, from LANGUAGE, LC_ALL, LC_MESSAGES and LANG), and
// Qt's own for its standard buttons and dialogs where the system has it.
// English needs neither: the program's texts are written in it.
void InstallTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());
