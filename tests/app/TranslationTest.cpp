// The program in German. ctest runs this under LANG=de_DE.UTF-8: the
// translation compiled into the program is found for that locale, and the
// main window, its popup menu, its dialogs and its messages read in German.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "app/Main.h"
#include "dialogs/MoreOptionsBox.h"
#include "dialogs/SettingsBox.h"
#include "platform/Translate.h"
#include "platform/qt/QtMessageService.h"
#include "platform/qt/Translations.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "settings/Settings.h"
#include "support/MainDialogs.h"
#include "support/Recorders.h"

namespace {

QStringList Texts(const QList<QAction*>& actions) {
    QStringList out;
    for (const QAction* a : actions) {
        if (!a->isSeparator()) {
            out << a->text();
        }
    }
    return out;
}

TEST(Translation, GermanLocaleShowsGermanTexts) {
    ASSERT_EQ(QLocale::system().language(), QLocale::German) << "run me under LANG=de_DE.UTF-8";
    InstallTranslations(*QCoreApplication::instance());

    RegSetStore(std::make_shared<TMemoryRegistryStore>());
    RegEnsureKey(HKEY_CURRENT_USER, settings::kKey);
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1920, 1080, 32}};
    TRecordingApplier applier;
    TRecordingTray tray;
    TAnsweringDialogs dialogs;
    TMainServices services;
    services.messages = &messages;
    services.screen = &screen;
    services.applier = &applier;
    services.tray = &tray;
    services.dialogs = &dialogs;
    {
        TfrmMain frm(services);
        EXPECT_EQ(Texts(frm.PopupMenu->actions()),
                  QStringList({"Vantoria anzeigen", "Diashow starten", "Zufällige Reihenfolge",
                               "Uhr anzeigen", "Erstes Bild", "Vorheriges Bild", "Nächstes Bild",
                               "Letztes Bild", "Dieses Hintergrundbild behalten", "Zurücksetzen",
                               "Liste laden", "Optionen", "Weitere Optionen...", "Über Vantoria",
                               "Beenden"}));
        EXPECT_EQ(frm.actRemoveWallPaper->toolTip(), "Hintergrundbild vom Desktop entfernen");
        const auto* group = frm.findChild<QLabel*>(QStringLiteral("AdvToolBar2Caption"));
        ASSERT_TRUE(group);
        EXPECT_EQ(group->text(), "Einstellungen");

        // A message made in the slide show, shown through the message service.
        frm.NextSlide();
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_EQ(messages.shown.back().text,
                  "Die Wiedergabeliste ist leer. Bitte fügen Sie ihr Bilder hinzu");
    }
    // A name in Latin-1 inside a German message: both are shown as they are.
    EXPECT_EQ(DisplayText(TextArgs(TrText("TSlideShow", "File \"%1\" cannot be read"),
                                   {"/bilder/caf\xe9.jpg"})),
              "Die Datei „/bilder/café.jpg“ kann nicht gelesen werden");

    TfrmSettings settingsBox;
    EXPECT_EQ(settingsBox.windowTitle(), "Einstellungen");
    QStringList choices;
    for (const QRadioButton* r : settingsBox.findChildren<QRadioButton*>()) {
        choices << r->text();
    }
    EXPECT_TRUE(choices.contains("Kacheln")) << choices.join(", ").toStdString();

    TfrmMoreOptions moreOptions(TSettings{}, nullptr);
    EXPECT_EQ(moreOptions.windowTitle(), "Weitere Optionen");
    // Qt's own buttons come in German where the system has Qt's translation.
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm")) {
        const auto* buttons = moreOptions.findChild<QDialogButtonBox*>();
        ASSERT_TRUE(buttons);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
    }
    RegSetStore(nullptr);
}

}  // namespace
