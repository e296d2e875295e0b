#pragma once

// Work that runs beside the main window (composing a wallpaper) yields the
// processor to the window's thread: on a machine of few cores the composer's
// threads would otherwise hold the window up while it waits for its turn.

// Lowers the calling thread's scheduling priority; threads it starts later
// inherit the lower priority.
void LowerThisThreadPriority();
