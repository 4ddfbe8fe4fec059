// The small modeless progress window shown while the phases run.
#pragma once
#include <windows.h>

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the progress window (no owner) and shows it; null when it cannot be created.
HWND openProgressWindow();

// Moves the bar to `position` of 8; with `pause`, waits the fixed 50 ms afterwards.
void advanceProgress(HWND window, int position, bool pause);
