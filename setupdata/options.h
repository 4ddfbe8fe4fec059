// The install options step: gathers the settings, shows the options dialog or the
// removal question, and owns the dialog's procedure and its folder browser.
#pragma once
#include <windows.h>
#include <stdint.h>

struct InstallSettings;

// Fills `settings` and `previousVersion`; sets `*cancelled` when the user declined.
// Returns 1 when the run may go on, 0 when the setup data or records are insufficient.
int runOptionsStep(int32_t* cancelled, InstallSettings* settings, char* previousVersion,
                   uint32_t runFlags);

// The options step's checks of the chosen folders, after the dialog: the program folder
// (`folderFound` says whether one was read), which it brings to its one spelling, its
// owners, the menu folder and the paths formed from them. Each failure is traced, the
// menu folder's also after the program folder's. Returns 1 when all pass.
int checkChosenFolders(InstallSettings* settings, int folderFound);

// Dialog 101; its creation parameter is the InstallSettings record it edits.
INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the folder browser over `owner`; `folder` (260) follows the selection.
// Returns 1 when the user confirmed a folder.
int browseForFolder(char* folder, HWND owner);
int CALLBACK browseCallback(HWND window, UINT message, LPARAM parameter, LPARAM folder);
