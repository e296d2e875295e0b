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
    const TMainServices services{.messages = &messages,
                                 .screen = &screen,
                                 .applier = &applier,
                                 .tray = &tray,
                                 .dialogs = &dialogs};
    {
        TfrmMain frm(services);
        QStringList menu;
        for (const QAction* a : frm.PopupMenu->actions()) {
            menu << a->text();
        }
        EXPECT_EQ(menu.join('|'),
                  "Vantoria anzeigen|Diashow starten|Zufällige Reihenfolge|Uhr anzeigen||"
                  "Erstes Bild|Vorheriges Bild|Nächstes Bild|Letztes Bild||Dieses Hintergrundbild "
                  "behalten|Zurücksetzen|Liste laden||Optionen|Weitere Optionen...|Über Vantoria||"
                  "Beenden");
        EXPECT_EQ(frm.findChild<QLabel*>("AdvToolBar2Caption")->text(), "Einstellungen");
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

    EXPECT_EQ(TfrmSettings().windowTitle(), "Einstellungen");
    TfrmMoreOptions moreOptions(TSettings{}, nullptr);
    EXPECT_EQ(moreOptions.windowTitle(), "Weitere Optionen");
    // Qt's own buttons come in German where the system has Qt's translation.
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm")) {
        EXPECT_EQ(
            moreOptions.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text(),
            "Abbrechen");
    }
    RegSetStore(nullptr);
}
