#include "wallpaper/DebugLog.h"

Q_LOGGING_CATEGORY(lcWallpaper, "vantoria.wallpaper", QtWarningMsg)

void DebugLog(const std::string& text) {
    qCDebug(lcWallpaper).noquote() << QByteArray::fromStdString(text);
}
