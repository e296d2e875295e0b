#include "app/CommandTable.h"

#include <QFile>

const std::array<TCommandRow, 14>& CommandTable() {
    // Every command of the main window has a key (Show Vantoria is the tray's);
    // Reset to Default takes Ctrl+D, as Ctrl+R always meant Run.
    static const std::array<TCommandRow, 14> table{{
        {"actFirst", "First Slide", "First Slide", "Ctrl+F", 1},
        {"actNext", "Next Slide", "Next Slide", "Ctrl+N", 3},
        {"actPrev", "PrevSlide", "Previous Slide", "Ctrl+P", 2},
        {"actLast", "Last Slide", "Last Slide", "Ctrl+L", 0},
        {"actRun", "Run Slide Show", "Run Slide Show", "Ctrl+R", 4},
        {"actSetup", "Options", "Vantoria Options", "Ctrl+S", 5},
        {"actResetDefault", "Reset to Default", "Restore Default Wallpaper", "Ctrl+D", 6},
        {"actLoadList", "Load List", "Load Play List", "Ctrl+Alt+L", 7},
        {"actAbout", "About Vantoria", "About Vantoria", "Ctrl+A", 8},
        {"actRestore", "Show Vantoria", "", nullptr, 9},
        {"actExit", "Exit", "Exit", "Ctrl+X", 10},
        {"actMinimize", "actMinimize", "Minimize to tray", "Ctrl+M", 12},
        {"actRemoveWallPaper", "Remove Wallpaper", "Remove Wallpaper from desktop", "Ctrl+W", 13},
        {"actShowClock", "Show Clock", "Show Clock", "Ctrl+K", 14},
    }};
    return table;
}

QIcon CommandImage(int index) {
    const QString path = QStringLiteral(":/images/%1.svg").arg(index, 2, 10, QLatin1Char('0'));
    return QFile::exists(path) ? QIcon(path) : QIcon();
}
