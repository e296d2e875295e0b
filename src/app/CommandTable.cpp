#include "app/CommandTable.h"

#include <QImage>
#include <QPixmap>
#include <QResource>
#include <initializer_list>

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

namespace {
// The picture NAME-SIDE drawn at build time from NAME.svg
// (resources/CMakeLists.txt): pixels shown where they are stored, so neither
// the SVG icon engine nor any image format plugin is loaded, and nothing is
// decoded or converted. None if it is not there.
QPixmap DrawnPicture(const QString& name, int side) {
    const QResource stored(QStringLiteral(":/images/%1-%2.argb").arg(name).arg(side));
    if (stored.compressionAlgorithm() != QResource::NoCompression ||
        stored.size() != qint64(side) * side * 4) {
        return QPixmap();
    }
    // The resource's bytes stay where they are while the program runs.
    return QPixmap::fromImage(
        QImage(stored.data(), side, side, side * 4, QImage::Format_ARGB32_Premultiplied));
}

QIcon DrawnIcon(const QString& name, std::initializer_list<int> sides) {
    QIcon icon;
    for (int side : sides) {
        const QPixmap picture = DrawnPicture(name, side);
        if (!picture.isNull()) {
            icon.addPixmap(picture);
        }
    }
    return icon;
}
}  // namespace

QIcon CommandImage(int index) {
    // 16 px in the tool bar and the menus, 32 px on a screen at scale 2.
    return DrawnIcon(QStringLiteral("%1").arg(index, 2, 10, QLatin1Char('0')), {16, 32});
}

QIcon ProgramWindowIcon() {
    // The window manager gets every size the icon has; these are the ones Qt
    // hands it for a scalable icon, and it scales them down for its own uses.
    return DrawnIcon(QStringLiteral("vantoria"), {16, 32, 64, 128});
}

QIcon ProgramTrayIcon() {
    // A tray draws the icon at 22 or 24 px, twice that at scale 2; a
    // StatusNotifier host is sent the sizes up to 64 px.
    return DrawnIcon(QStringLiteral("vantoria"), {16, 22, 24, 32, 44, 48, 64});
}
