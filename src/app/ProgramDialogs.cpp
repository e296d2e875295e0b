#include "app/ProgramDialogs.h"

#include "dialogs/MoreOptionsBox.h"
#include "dialogs/SettingsBox.h"
#include "platform/MessageService.h"
#include "platform/Translate.h"
#include "platform/linux/files/XdgAutostart.h"
#include "settings/Settings.h"
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

bool TProgramDialogs::ShowMoreOptions(TSettings& settings) {
    TXdgAutostart autostart(ProcessEnvironment(), RunningProgramFile());
    TfrmMoreOptions dialog(settings, &autostart);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    if (const std::string problem = dialog.Apply(settings); !problem.empty()) {
        messages_.ShowWarning(
            TextArgs(TrText("TProgramDialogs", "Vantoria cannot change its start at log-in: %1"),
                     {problem}));
    }
    return true;
}
