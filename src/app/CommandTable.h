#pragma once

#include <QIcon>
#include <array>

// One row per command of the main window, in the order of its action list;
// the order decides which command a shared shortcut reaches.
struct TCommandRow {
    const char* name;
    const char* caption;
    const char* hint;
    const char* shortcut;  // nullptr for none
    int image;             // index into the command images
};

const std::array<TCommandRow, 14>& CommandTable();

// The command image with the given index (0 to 14); none for another index.
QIcon CommandImage(int index);

// The program's icon as the window manager gets it, and as the tray shows it.
QIcon ProgramWindowIcon();
QIcon ProgramTrayIcon();
