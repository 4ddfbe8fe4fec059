// Shortcuts on the desktop, in the Start menu and in the application's menu folder.
#pragma once
#include <stdint.h>

// Bit 0x1 of `runFlags` set creates the shortcut, clear removes it. Nonzero on success.
int applyDesktopShortcut(const char* target, const char* name, uint32_t runFlags);
int applyStartMenuShortcut(const char* target, const char* name, uint32_t runFlags);
int applyMenuShortcut(const char* target, const char* shortcutPath, const char* menuFolder,
                      uint32_t runFlags);
