#pragma once

// The C library's heap keeps freed memory for later use, and the large
// buffers of one picture change (a decoded photograph, its scaled copy, the
// scaler's per-thread arenas) would stay resident between changes.

// Makes large buffers come straight from the system and go straight back;
// called once at start.
void TuneHeapForPictures();
// Gives the free memory of every arena back to the system; called after each
// wallpaper change.
void ReturnFreeHeap();
