// The program's own dialogs at the DPI of the monitor they are on.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0  // Windows 8.1 on
#endif

// For WM_DPICHANGED in a dialog made from a template. Per-monitor awareness of version
// 1 (Windows 8.1 to 10 1607) moves the frame to the new DPI but leaves the font and the
// controls as they were made: this scales them by the change and takes the frame that
// the system suggests (lParam). Version 2 (10 1703 on) does all of it in the dialog
// manager: then this returns 0 and leaves the message to it. Returns 1 when handled.
int followDpiChange(HWND dialog, WPARAM wParam, LPARAM lParam);

// For WM_DESTROY: deletes the font made for the dialog by followDpiChange, if any.
void forgetDpiChange(HWND dialog);
