// Copying the application's files into place and removing them again.
#pragma once
#include <windows.h>
#include <stdint.h>

// Installs (run flag 0x1 set) or removes the files in `folder`; with `restartNeeded`
// the work is scheduled for the next restart. Returns 1 on success.
int deployFiles(HWND owner, const char* folder, int restartNeeded, uint32_t runFlags);
