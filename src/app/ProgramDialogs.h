#pragma once

#include "app/Services.h"

class TMessageService;

// The real dialogs of the main window's commands, modal over the desktop.
class TProgramDialogs : public TMainDialogs {
public:
    // A failure the dialogs cannot handle themselves goes to `messages`.
    explicit TProgramDialogs(TMessageService& messages) : messages_(messages) {}

    bool ShowSettings() override;
    void ShowAbout() override;
    std::unique_ptr<TfrmList> CreatePlaylistEditor() override;
    bool ShowMoreOptions(TSettings& settings) override;

private:
    TMessageService& messages_;
};
