#include "actions/shortcuts.h"
#include "actions/shortcut_places.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wchar.h>

#include "platform/guards.h"
#include "platform/libraries.h"
#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "setupdata/install_settings.h"
#include "setupdata/run_flags.h"

namespace {

// Sibling folders of the menu folder in which an older layout kept the shortcut.
const WCHAR* const kLegacyFolders[] = {L"\\Veltrano", L"\\Access QUVO"};

// SHChangeNotify flags: flush and wait on the NT family, flush without waiting elsewhere.
const UINT kNotifyFlushNt = 0x1000;
const UINT kNotifyFlushOther = 0x2000;

// Writes a shortcut to `target` at `shortcutPath` with COM already initialised; a
// nonzero `notifyFlags` tells the shell once the save was tried. 1 only when the
// save returned S_OK.
int writeShortcut(const char* target, const char* shortcutPath, UINT notifyFlags)
{
    char workingFolder[kPathChars];
    WCHAR widePath[kPathChars];
    if (!target || !copyText(workingFolder, sizeof workingFolder, target))
        return 0;
    char* separator = lastSeparator(workingFolder);
    if (!separator)
        return 0;
    *separator = '\0';
    if (MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, widePath, kPathChars) == 0)
        return 0;

    ComPtr<IShellLinkA> link;
    if (FAILED(TRACED_STATUS(platform.CoCreateInstance,
                             (CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.putVoid()),
                             shortcutPath)) ||
        !link)
        return 0;
    link->SetPath(target);
    link->SetIconLocation(target, 1);
    link->SetWorkingDirectory(workingFolder);
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.putVoid())) || !file)
        return 0;
    HRESULT saved = file->Save(widePath, TRUE);
    if (saved != S_OK)
        traceCall("IPersistFile::Save", unsigned(saved), shortcutPath);
    if (notifyFlags)
        systemLibraries().SHChangeNotify(SHCNE_ASSOCCHANGED, notifyFlags, nullptr, nullptr);
    return saved == S_OK;
}

int applyNamedShortcut(FolderOf folderOf, const char* target, const char* name,
                       uint32_t runFlags)
{
    char path[kPathChars];
    if (!(runFlags & kRunInstall)) {
        if (namedShortcutPath(folderOf, name, path) && namedShortcutExists(folderOf, name))
            DeleteFileA(path);
        return 1;
    }
    if (!namedShortcutPath(folderOf, name, path)) {
        traceCause("the shortcut's folder is unknown or its path too long", name);
        return 0;
    }
    ComScope com;
    return writeShortcut(target, path, 0);
}

// Appends `text` to the wide string in `out` (`capacity` characters). 0 when it does not fit.
int appendWide(WCHAR* out, size_t capacity, const WCHAR* text)
{
    size_t used = 0;
    while (used < capacity && out[used])
        ++used;
    for (; used < capacity && *text; ++used, ++text)
        out[used] = *text;
    if (used >= capacity) {
        out[capacity - 1] = L'\0';
        return 0;
    }
    out[used] = L'\0';
    return 1;
}

// Deletes the first entry matched by `pattern` ("<folder>\*") whose icon comes from
// `target`, then the folder, which goes only if that left it empty.
void removeFirstLegacyShortcut(const char* target, const WCHAR* pattern)
{
    WIN32_FIND_DATAW entry;
    HANDLE first = FindFirstFileW(pattern, &entry);
    if (first == INVALID_HANDLE_VALUE)
        return;
    UniqueFind find(first);
    const size_t separator = wcslen(pattern) - 2;
    do {
        if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0)
            continue;
        WCHAR widePath[kPathChars] = L"";
        char path[kPathChars];
        appendWide(widePath, kPathChars, pattern);
        widePath[separator + 1] = L'\0';  // the folder and its backslash, without the "*"
        if (!appendWide(widePath, kPathChars, entry.cFileName) ||
            WideCharToMultiByte(CP_ACP, 0, widePath, -1, path, kPathChars, nullptr, nullptr) == 0)
            continue;
        SHFILEINFOA info;
        ZeroMemory(&info, sizeof info);
        systemLibraries().SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_ICONLOCATION);
        if (info.hIcon)
            DestroyIcon(info.hIcon);
        if (lstrcmpiA(info.szDisplayName, target) != 0)
            continue;
        DeleteFileW(widePath);
        find.reset();  // an open search handle keeps the folder from being removed
        widePath[separator] = L'\0';
        RemoveDirectoryW(widePath);
        return;
    } while (FindNextFileW(find.get(), &entry));
}

// Makes the menu folder (one level, parents are not created) when it is missing.
void ensureFolder(const char* folder)
{
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(folder, nullptr);
}

}  // namespace

int applyDesktopShortcut(const char* target, const char* name, uint32_t runFlags)
{
    return applyNamedShortcut(desktopFolder, target, name, runFlags);
}

int applyStartMenuShortcut(const char* target, const char* name, uint32_t runFlags)
{
    return applyNamedShortcut(startMenuFolder, target, name, runFlags);
}

void removeLegacyMenuShortcuts(const char* target, const char* menuFolder)
{
    WCHAR parent[kPathChars];
    if (!target || !menuFolder ||
        MultiByteToWideChar(CP_ACP, 0, menuFolder, -1, parent, kPathChars) == 0)
        return;
    WCHAR* lastSeparator = wcsrchr(parent, L'\\');
    if (!lastSeparator)
        return;
    *lastSeparator = L'\0';
    for (const WCHAR* legacyName : kLegacyFolders) {
        WCHAR pattern[kPathChars] = L"";
        if (appendWide(pattern, kPathChars, parent) &&
            appendWide(pattern, kPathChars, legacyName) &&
            appendWide(pattern, kPathChars, L"\\*"))
            removeFirstLegacyShortcut(target, pattern);
    }
}

int applyMenuShortcut(const char* target, const char* shortcutPath, const char* menuFolder,
                      uint32_t runFlags)
{
    const UINT notifyFlags = isNtFamily() ? kNotifyFlushNt : kNotifyFlushOther;
    if (!(runFlags & kRunInstall)) {
        if (shortcutPath)
            DeleteFileA(shortcutPath);
        if (menuFolder)
            RemoveDirectoryA(menuFolder);
        systemLibraries().SHChangeNotify(SHCNE_ASSOCCHANGED, notifyFlags, nullptr, nullptr);
        return 1;
    }
    if (!shortcutPath || !menuFolder || boundedLength(menuFolder, kPathChars) >= kPathChars) {
        traceCause("no menu shortcut path", menuFolder);
        return 0;
    }
    ensureFolder(menuFolder);
    ComScope com;
    removeLegacyMenuShortcuts(target, menuFolder);
    // A menu folder that itself carries a legacy name may have just been emptied and removed.
    ensureFolder(menuFolder);
    return writeShortcut(target, shortcutPath, notifyFlags);
}

int applyInstallShortcuts(const InstallSettings& s, uint32_t runFlags)
{
    // Shortcuts left under an earlier product name go first; failures there do not matter.
    if (s.previousName[0] && strcmp(s.previousName, s.productName) != 0) {
        applyDesktopShortcut(s.programPath, s.previousName, 0);
        applyStartMenuShortcut(s.programPath, s.previousName, 0);
        if (s.previousMenuShortcut[0])
            applyMenuShortcut(s.programPath, s.previousMenuShortcut, s.menuFolder, 0);
    }
    return applyDesktopShortcut(s.programPath, s.productName, s.desktopIcon ? runFlags : 0) &&
           applyStartMenuShortcut(s.programPath, s.productName, s.startMenuIcon ? runFlags : 0) &&
           applyMenuShortcut(s.programPath, s.menuShortcut, s.menuFolder, runFlags);
}
