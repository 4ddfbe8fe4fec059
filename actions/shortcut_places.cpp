#include "actions/shortcut_places.h"

#include <windows.h>
#include <shlobj.h>

#include "actions/shortcuts.h"
#include "platform/shell_folders.h"
#include "platform/system.h"
#include "platform/text.h"

int desktopFolder(char* out)
{
    // A folder the shell cannot name fails: no shortcut path may become "\\name.lnk".
    return shellFolderPath(CSIDL_DESKTOP, out);
}

int startMenuFolder(char* out)
{
    return shellFolderPath(isNtFamily() ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU, out);
}

int namedShortcutPath(FolderOf folderOf, const char* name, char* out)
{
    char folder[kPathChars];
    return name && folderOf(folder) && formatText(out, kPathChars, "%s\\%s.lnk", folder, name);
}

int namedShortcutExists(FolderOf folderOf, const char* name)
{
    char folder[kPathChars];
    char file[kPathChars];
    char found[kPathChars];
    return name && folderOf(folder) && formatText(file, sizeof file, "%s.lnk", name) &&
           fileInFolder(folder, file, found);
}

int desktopShortcutExists(const char* name)
{
    return namedShortcutExists(desktopFolder, name);
}

int startMenuShortcutExists(const char* name)
{
    return namedShortcutExists(startMenuFolder, name);
}
