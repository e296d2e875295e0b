#pragma once

class TMessageService;
class TScreenInfo;
class TTrayService;
class TWallpaperApplier;

// The platform services the main window works with. The program block gives
// it the real ones; tests give it recording ones. None is owned here.
struct TMainServices {
    TMessageService* messages = nullptr;
    TScreenInfo* screen = nullptr;
    TWallpaperApplier* applier = nullptr;
    TTrayService* tray = nullptr;
};
