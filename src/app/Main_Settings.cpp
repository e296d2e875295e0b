// The working copy of the settings and the stored ones. The show takes its
// interval, its stop at the last and its position from the settings, and
// gives the position back when they are saved.

#include "app/Main.h"

void TfrmMain::LoadSettings() {
    settings::Load(FSettings, *FServices.screen);
    FShow.SetInterval(FSettings.FChangeTime);
    FShow.SetStopAtLast(FSettings.FStopAtLast);
    FShow.SetShuffle(FSettings.FOrder == 1);
    FShow.SetRecursive(FSettings.FRecursive);
    FShow.SetPosition(FSettings.FCurrent);
}

void TfrmMain::SaveSettings() {
    FSettings.FCurrent = FShow.Position();
    settings::Save(FSettings);
}

void TfrmMain::SaveAutoplay() {
    settings::SaveAutoplay(FSettings);
}
