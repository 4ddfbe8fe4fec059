// Shortcuts on the desktop, in the Start menu and in the application's menu folder.
#pragma once
#include <stdint.h>

struct InstallSettings;

// 1 if the current user's desktop, or the top of the Start menu (all users on the NT
// family, the user's own on Windows 9x), holds the shortcut of `name`. Like the
// platform's file search, ".lnk" is added only to a name without an extension, so
// "Tool 1.5" is looked up as it is and not found.
int desktopShortcutExists(const char* name);
int startMenuShortcutExists(const char* name);

// Bit 0x1 of `runFlags` set writes the shortcut "<name>.lnk" to `target` (icon index 1,
// working folder beside the target) and succeeds when it was saved; clear deletes it
// if the existence test finds it and always succeeds. `target` may be null when removing.
int applyDesktopShortcut(const char* target, const char* name, uint32_t runFlags);
int applyStartMenuShortcut(const char* target, const char* name, uint32_t runFlags);

// In each legacy sibling of `menuFolder` ("Veltrano", then "Access QUVO"), deletes the
// first entry whose icon comes from `target` (any case), then the folder if it is empty.
void removeLegacyMenuShortcuts(const char* target, const char* menuFolder);

// Create: makes `menuFolder` (one level) if missing, clears the legacy shortcuts, writes
// `shortcutPath` and tells the shell; succeeds when the shortcut was saved. Remove:
// deletes `shortcutPath` and `menuFolder` if it is then empty, tells the shell; always 1.
int applyMenuShortcut(const char* target, const char* shortcutPath, const char* menuFolder,
                      uint32_t runFlags);

// The shortcut step of an installation without /W: removes the shortcuts of an earlier
// product name, then writes (or, where `s` does not ask for them, removes) the desktop,
// Start-menu and menu-folder shortcuts. Returns 0 when one of the three could not be written.
int applyInstallShortcuts(const InstallSettings& s, uint32_t runFlags);
