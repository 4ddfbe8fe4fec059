// The folders that hold the desktop and Start-menu shortcuts, and the shortcut paths
// in them; the shortcut actions and the options step's presets share them.
#pragma once

// The current user's desktop; the top of the Start menu (all users on the NT family,
// the user's own on Windows 9x). 0 when the shell cannot name the folder.
int desktopFolder(char* out);
int startMenuFolder(char* out);

using FolderOf = int (*)(char* out);

// "<folder>\<name>.lnk" into `out` (260); 0 when the folder is unknown or the path too long.
int namedShortcutPath(FolderOf folderOf, const char* name, char* out);
// 1 when that shortcut file is there.
int namedShortcutExists(FolderOf folderOf, const char* name);
