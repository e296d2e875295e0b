#include "app/ProgramDialogs.h"

#include "dialogs/SettingsBox.h"
#include "dialogs/frmAboutBox.h"
#include "playlist/frm_PlayList.h"

bool TProgramDialogs::ShowSettings() {
    return ShowSettingsDialog(&messages_);
}

void TProgramDialogs::ShowAbout() {
    ShowAboutBox(&messages_);
}

std::unique_ptr<TfrmList> TProgramDialogs::CreatePlaylistEditor() {
    return std::make_unique<TfrmList>(messages_);
}
