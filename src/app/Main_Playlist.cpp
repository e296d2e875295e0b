#include "app/Main.h"
#include "platform/MessageService.h"
#include "playlist/frm_PlayList.h"

void TfrmMain::EditPlaylist() {
    std::unique_ptr<TfrmList> editor = FServices.dialogs
                                           ? FServices.dialogs->CreatePlaylistEditor()
                                           : std::make_unique<TfrmList>(*FServices.messages);
    if (!editor) {
        return;
    }
    editor->SetFolderCounter(
        [this](const std::string& folder) { return FShow.FolderPictures(folder); });
    editor->SetEntries(FShow.Playlist());
    editor->FFolder = FSettings.FFolder;
    editor->SetFileName(FSettings.FPlayListFile);
    // A running show keeps ticking while the editor is open.
    if (editor->exec() != QDialog::Accepted) {
        return;
    }
    FShow.SetPlaylist(editor->Entries());
    FSettings.FFolder = editor->FFolder;
    FSettings.FPlayListFile = editor->FFileName;
    ActionList1Update();
    if (!FSettings.FPlayListFile.empty()) {
        // A failure here reaches the error report; the list is in use already.
        editor->SavePlayListFile(FSettings.FPlayListFile);
    }
    FShow.SetPosition(0);
    SaveSettings();
}
