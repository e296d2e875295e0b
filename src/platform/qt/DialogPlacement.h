#pragma once

class QApplication;

// Every dialog and message box of the program opens centred on its screen's
// work area, its window manager's frame included, and with a fixed border (no
// minimise or maximise button).
//
// A window manager frames a window only once it is on screen, so its frame is
// not known when the dialog is placed: the first dialog is placed with its
// client area centred, then once more when the frame is known; later dialogs
// are placed with the frame learnt from earlier ones.
void PlaceDialogsCentred(QApplication& app);
