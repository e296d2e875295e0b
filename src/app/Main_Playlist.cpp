#include "app/Main.h"
#include "platform/MessageService.h"
#include "playlist/frm_PlayList.h"

void TfrmMain::EditPlaylist() {
    std::unique_ptr<TfrmList> editor =
        CreatePlaylistEditorFn ? CreatePlaylistEditorFn()
                               : std::make_unique<TfrmList>(*FServices.messages);
    editor->SetEntries(FPlayList);
    editor->FFolder = FFolder;
    editor->SetFileName(FPlayListFile);
    // A running show keeps ticking while the editor is open.
    if (editor->exec() != QDialog::Accepted) {
        return;
    }
    FPlayList = editor->Entries();
    FFolder = editor->FFolder;
    FPlayListFile = editor->FFileName;
    ActionList1Update();
    if (!FPlayListFile.empty()) {
        // A failure here reaches the error report; the list is in use already.
        editor->SavePlayListFile(FPlayListFile);
    }
    FCurrent = 0;
    SaveSettings();
}
