#pragma once

#include <memory>
#include <string>

class TAccessoryLayer;
class TFolderWatch;
class TMessageService;
class TScreenInfo;
class TTrayService;
class TWallpaperApplier;
class TfrmList;
struct TSettings;

// The dialogs the main window's commands open. The program opens the real
// ones; tests answer for the user.
class TMainDialogs {
public:
    virtual ~TMainDialogs() = default;
    // The settings dialog over the stored settings; true when confirmed.
    virtual bool ShowSettings() = 0;
    virtual void ShowAbout() = 0;
    // The playlist editor of the Load List command, not yet shown.
    virtual std::unique_ptr<TfrmList> CreatePlaylistEditor() = 0;
    // More Options over the working copy `settings`, which takes the choices
    // when the user confirms (true); where there is no such dialog, false.
    virtual bool ShowMoreOptions(TSettings& settings) {
        (void)settings;
        return false;
    }
};

// The platform services the main window works with. The program block gives
// it the real ones; tests give it recording ones. None is owned here.
struct TMainServices {
    TMessageService* messages = nullptr;
    TScreenInfo* screen = nullptr;
    TWallpaperApplier* applier = nullptr;
    TTrayService* tray = nullptr;
    TMainDialogs* dialogs = nullptr;
    // Keeps folders named in the playlist current; none: read once.
    TFolderWatch* folders = nullptr;
    // Where the desktop keeps surfaces of this program's own (the clock's).
    TAccessoryLayer* accessories = nullptr;
    // The per-user data folder (the converted bitmap's); a playlist added to
    // from outside before it had a file is saved there. Empty: none.
    std::string dataFolder = {};
};
