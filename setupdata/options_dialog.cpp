// The options dialog and its folder browser.
#include "setupdata/options.h"

#include <shlobj.h>
#include <string.h>

#include "actions/registry_records.h"
#include "platform/guards.h"
#include "platform/libraries.h"
#include "platform/narrow_paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "setupdata/dialog_dpi.h"
#include "setupdata/install_settings.h"
#include "setupdata/names.h"
#include "setupdata/run_flags.h"
#include "setupdata/setup_data.h"
#include "setupdata/status_text.h"

namespace {

const UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_RETURNFSANCESTORS |
                          BIF_BROWSEFORCOMPUTER;

// Fits `path` into the browser's status line by dropping folder names from its middle.
// Measured in the browser's own font, which the system makes for the window's DPI (and
// scales again when the window moves to a monitor of another DPI), against its client area.
void showStatusPath(HWND window, const char* path)
{
    char text[kPathChars];
    copyText(text, sizeof text, path);
    RECT area = {};
    GetClientRect(window, &area);
    HDC dc = GetDC(window);
    if (dc) {
        auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0));
        HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
        SIZE extent = {};
        while (GetTextExtentPoint32A(dc, text, int(strlen(text)), &extent) && extent.cx >= area.right &&
               shortenStatusText(text, sizeof text, path)) {
        }
        if (previous)
            SelectObject(dc, previous);
        ReleaseDC(window, dc);
    }
    SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

bool isDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* s = reinterpret_cast<InstallSettings*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        s = reinterpret_cast<InstallSettings*>(lParam);
        HICON icon = LoadIconA(moduleInstance, MAKEINTRESOURCEA(IDI_SETUP));
        if (icon)
            SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
        char text[kPathChars];
        loadSetupText(IDS_INSTALL_TITLE, text, sizeof text);
        SetWindowTextA(dialog, text);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        SetDlgItemTextA(dialog, IDC_FOLDER, s->programFolder);
        // No more than the folder's buffer holds, so that nothing typed is cut unseen.
        SendDlgItemMessageA(dialog, IDC_FOLDER, EM_LIMITTEXT, kPathChars - 1, 0);
        if (s->runFlags & kRunFreshInstall) {
            loadSetupText(IDS_FOLDER_CHOOSE, text, sizeof text);
            SetDlgItemTextA(dialog, IDC_FOLDER_LABEL, text);
        } else {
            // An earlier installation fixes the folder.
            loadSetupText(IDS_FOLDER_FIXED, text, sizeof text);
            SetDlgItemTextA(dialog, IDC_FOLDER_LABEL, text);
            EnableWindow(GetDlgItem(dialog, IDC_BROWSE), FALSE);
            SendDlgItemMessageA(dialog, IDC_FOLDER, EM_SETREADONLY, TRUE, 0);
        }
        EnableWindow(GetDlgItem(dialog, IDCANCEL), (s->runFlags & kRunWaitAndOpen) ? FALSE : TRUE);
        // A grey check shows a preset that came from an existing shortcut.
        CheckDlgButton(dialog, IDC_DESKTOP_ICON, s->desktopIcon ? BST_INDETERMINATE : BST_UNCHECKED);
        CheckDlgButton(dialog, IDC_STARTMENU_ICON,
                       s->startMenuIcon ? BST_INDETERMINATE : BST_UNCHECKED);
        if (s->internetFunction == 0 || (s->runFlags & kRunNoShortcuts)) {
            ShowWindow(GetDlgItem(dialog, IDC_DESKTOP_ICON), SW_HIDE);
            ShowWindow(GetDlgItem(dialog, IDC_STARTMENU_ICON), SW_HIDE);
        }
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BROWSE:
            if (browseForFolder(s->programFolder, dialog))
                SetDlgItemTextA(dialog, IDC_FOLDER, s->programFolder);
            return TRUE;
        case IDC_DESKTOP_ICON:
        case IDC_STARTMENU_ICON: {
            int id = LOWORD(wParam);
            CheckDlgButton(dialog, id,
                           IsDlgButtonChecked(dialog, id) == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED);
            return FALSE;
        }
        case IDOK: {
            char folder[kPathChars];
            GetDlgItemTextA(dialog, IDC_FOLDER, folder, sizeof folder);
            if ((s->runFlags & kRunFreshInstall) && !isValidFolderPath(folder)) {
                // A relative folder, or one the system would refuse: say so and let the user
                // correct it.
                char caption[kPathChars];
                char warning[kPathChars];
                loadSetupText(IDS_INSTALL_TITLE, caption, sizeof caption);
                loadSetupText(IDS_FOLDER_INVALID, warning, sizeof warning);
                platform.MessageBoxA(dialog, warning, caption, MB_ICONWARNING);
                HWND edit = GetDlgItem(dialog, IDC_FOLDER);
                SetFocus(edit);
                SendMessageA(edit, EM_SETSEL, 0, -1);
                return TRUE;
            }
            // A grey check counts as set; a hidden box keeps its preset.
            s->desktopIcon = IsDlgButtonChecked(dialog, IDC_DESKTOP_ICON) != BST_UNCHECKED;
            s->startMenuIcon = IsDlgButtonChecked(dialog, IDC_STARTMENU_ICON) != BST_UNCHECKED;
            s->browserButton = s->internetFunction != 0;
            copyText(s->programFolder, kPathChars, folder);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
        case IDCLOSE:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
        }
    case WM_SYSCOMMAND:
        // The close box cancels even while the Cancel button is disabled (/O).
        if ((wParam & 0xFFF0) == SC_CLOSE)
            EndDialog(dialog, IDCANCEL);
        return FALSE;
    case WM_DPICHANGED:
        return followDpiChange(dialog, wParam, lParam);
    case WM_DESTROY:
        forgetDpiChange(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

// The folder the browser points at, in a narrow form that names it (never a best-fit
// spelling of a name outside the code page).
static bool pathOfItem(LPCITEMIDLIST item, char* out)
{
    using PathFromItem = BOOL(WINAPI*)(LPCITEMIDLIST, LPWSTR);
    auto pathFromItem = procedureOf<PathFromItem>(GetModuleHandleA("shell32.dll"), "SHGetPathFromIDListW");
    if (!isNtFamily() || !pathFromItem)
        return systemLibraries().SHGetPathFromIDListA(item, out) != FALSE;
    wchar_t wide[MAX_PATH] = L"";
    return pathFromItem(item, wide) && losslessNarrowPath(wide, out);
}

int CALLBACK browseCallback(HWND window, UINT message, LPARAM parameter, LPARAM folderParameter)
{
    char* folder = reinterpret_cast<char*>(folderParameter);
    if (message == BFFM_INITIALIZED) {
        if (!isDirectory(folder))
            readCurrentVersionValue("ProgramFilesDir", folder, kPathChars);
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = "";
        DWORD attributes = INVALID_FILE_ATTRIBUTES;
        if (parameter && pathOfItem(reinterpret_cast<LPCITEMIDLIST>(parameter), path))
            attributes = GetFileAttributesA(path);
        bool acceptable = attributes != INVALID_FILE_ATTRIBUTES &&
                          !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_OFFLINE)) &&
                          boundedLength(path, kPathChars) < kPathChars;
        SendMessageA(window, BFFM_ENABLEOK, 0, acceptable ? 1 : 0);
        if (acceptable) {
            copyText(folder, kPathChars, path);
            showStatusPath(window, folder);
        }
    }
    return 0;
}

int browseForFolder(char* folder, HWND owner)
{
    ComScope com;
    ComPtr<IMalloc> allocator;
    systemLibraries().SHGetMalloc(allocator.put());
    LPITEMIDLIST root = nullptr;
    systemLibraries().SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root);
    char title[kPathChars];
    loadSetupText(IDS_FOLDER_CHOOSE, title, sizeof title);
    char displayName[MAX_PATH] = "";

    BROWSEINFOA browse;
    ZeroMemory(&browse, sizeof browse);
    browse.hwndOwner = owner;
    browse.pidlRoot = root;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title;
    browse.ulFlags = kBrowseFlags;
    browse.lpfn = browseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(folder);
    // The chosen path is already in `folder`, put there by the callback.
    LPITEMIDLIST chosen = systemLibraries().SHBrowseForFolderA(&browse);
    // The shell's allocator where it has one; the task allocator, which is the same
    // one on later systems, where it has not.
    LPITEMIDLIST lists[] = {root, chosen};
    for (LPITEMIDLIST list : lists) {
        if (list && allocator)
            allocator->Free(list);
        else if (list)
            systemLibraries().CoTaskMemFree(list);
    }
    return chosen != nullptr;
}
