#include "platform/qt/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace {
// A translation found is installed for the application's life; one missing
// (a language without a translation) leaves the English texts.
void Install(QCoreApplication& app, const QLocale& locale, const QString& name,
             const QString& folder) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(locale, name, QStringLiteral("_"), folder)) {
        translator->setParent(&app);
        QCoreApplication::installTranslator(translator.release());
    }
}
}  // namespace

void InstallTranslations(QCoreApplication& app, const QLocale& locale) {
    // The program's translations are compiled into it, under :/i18n.
    Install(app, locale, QStringLiteral("vantoria"), QStringLiteral(":/i18n"));
    Install(app, locale, QStringLiteral("qtbase"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
