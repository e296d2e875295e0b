#include "app/CommandTable.h"

#include <QFile>

const std::array<TCommandRow, 14>& CommandTable() {
    // Every command of the main window has a key (Show Vantoria is the tray's);
    // Reset to Default takes Ctrl+D, as Ctrl+R always meant Run. Captions and
    // hints are shown in the user's language (see TfrmMain::CreateActions).
    static const std::array<TCommandRow, 14> table{{
        {"actFirst", QT_TRANSLATE_NOOP("TfrmMain", "First Slide"),
         QT_TRANSLATE_NOOP("TfrmMain", "First Slide"), "Ctrl+F", 1},
        {"actNext", QT_TRANSLATE_NOOP("TfrmMain", "Next Slide"),
         QT_TRANSLATE_NOOP("TfrmMain", "Next Slide"), "Ctrl+N", 3},
        {"actPrev", QT_TRANSLATE_NOOP("TfrmMain", "PrevSlide"),
         QT_TRANSLATE_NOOP("TfrmMain", "Previous Slide"), "Ctrl+P", 2},
        {"actLast", QT_TRANSLATE_NOOP("TfrmMain", "Last Slide"),
         QT_TRANSLATE_NOOP("TfrmMain", "Last Slide"), "Ctrl+L", 0},
        {"actRun", QT_TRANSLATE_NOOP("TfrmMain", "Run Slide Show"),
         QT_TRANSLATE_NOOP("TfrmMain", "Run Slide Show"), "Ctrl+R", 4},
        {"actSetup", QT_TRANSLATE_NOOP("TfrmMain", "Options"),
         QT_TRANSLATE_NOOP("TfrmMain", "Vantoria Options"), "Ctrl+S", 5},
        {"actResetDefault", QT_TRANSLATE_NOOP("TfrmMain", "Reset to Default"),
         QT_TRANSLATE_NOOP("TfrmMain", "Restore Default Wallpaper"), "Ctrl+D", 6},
        {"actLoadList", QT_TRANSLATE_NOOP("TfrmMain", "Load List"),
         QT_TRANSLATE_NOOP("TfrmMain", "Load Play List"), "Ctrl+Alt+L", 7},
        {"actAbout", QT_TRANSLATE_NOOP("TfrmMain", "About Vantoria"),
         QT_TRANSLATE_NOOP("TfrmMain", "About Vantoria"), "Ctrl+A", 8},
        {"actRestore", QT_TRANSLATE_NOOP("TfrmMain", "Show Vantoria"), "", nullptr, 9},
        {"actExit", QT_TRANSLATE_NOOP("TfrmMain", "Exit"), QT_TRANSLATE_NOOP("TfrmMain", "Exit"),
         "Ctrl+X", 10},
        {"actMinimize", QT_TRANSLATE_NOOP("TfrmMain", "actMinimize"),
         QT_TRANSLATE_NOOP("TfrmMain", "Minimize to tray"), "Ctrl+M", 12},
        {"actRemoveWallPaper", QT_TRANSLATE_NOOP("TfrmMain", "Remove Wallpaper"),
         QT_TRANSLATE_NOOP("TfrmMain", "Remove Wallpaper from desktop"), "Ctrl+W", 13},
        {"actShowClock", QT_TRANSLATE_NOOP("TfrmMain", "Show Clock"),
         QT_TRANSLATE_NOOP("TfrmMain", "Show Clock"), "Ctrl+K", 14},
    }};
    return table;
}

QIcon CommandImage(int index) {
    const QString path = QStringLiteral(":/images/%1.svg").arg(index, 2, 10, QLatin1Char('0'));
    return QFile::exists(path) ? QIcon(path) : QIcon();
}
