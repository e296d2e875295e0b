#pragma once

// The main window's dialogs answered by the test: each says what the user
// does when the dialog opens.

#include <functional>
#include <memory>

#include "app/Services.h"
#include "playlist/frm_PlayList.h"

class TAnsweringDialogs : public TMainDialogs {
public:
    bool ShowSettings() override { return settings ? settings() : false; }
    void ShowAbout() override {
        if (about) {
            about();
        }
    }
    std::unique_ptr<TfrmList> CreatePlaylistEditor() override {
        return editor ? editor() : nullptr;
    }
    std::function<bool()> settings;
    std::function<void()> about;
    std::function<std::unique_ptr<TfrmList>()> editor;
};
