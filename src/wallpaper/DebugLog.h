#pragma once

#include <QLoggingCategory>
#include <string>

// The wallpaper's log: warnings are on, the debug lines are off unless
// QT_LOGGING_RULES="vantoria.wallpaper.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcWallpaper)

// One debug line, the text's bytes as they are, no line end added.
void DebugLog(const std::string& text);
