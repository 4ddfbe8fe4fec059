// Shows the options dialog in one of its languages, or the progress window, the way
// setup.exe shows them, or setup.exe's own help message, so that translators can check
// the layouts without a setup run.
//
//   preview.exe options LANGID [SECONDS]   LANGID in hex, e.g. 0407 or 0007
//   preview.exe progress [SECONDS]
//   preview.exe help SETUP_EXE [SECONDS]   starts "SETUP_EXE /?" and shows its message box
//
// Once the window is on screen its frame is printed to standard output as "x y width height".
// Without SECONDS the window stays until it is closed or the process is ended.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resources/resource.h"

namespace {

const UINT_PTR kCloseTimer = 1;
const char kSampleFolder[] = "C:\\Program Files\\PkgMgr";

// Loads string `id` of language `langId` into `text` in the system code page, as the
// string loader would on a system of that language. Missing strings give "".
void loadLanguageString(HINSTANCE module, WORD langId, UINT id, char* text, int size) {
    text[0] = '\0';
    HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(id / 16 + 1), langId);
    if (!block) return;
    HGLOBAL loaded = LoadResource(module, block);
    const WCHAR* entry = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!entry) return;
    // A block holds sixteen strings, each a length followed by that many UTF-16 units.
    for (UINT i = 0; i < id % 16; ++i) entry += 1 + *entry;
    int length = *entry;
    int written = WideCharToMultiByte(CP_ACP, 0, entry + 1, length, text, size - 1, nullptr, nullptr);
    text[written > 0 ? written : 0] = '\0';
}

// Finds dialog `dialogId` in language `langId`, or else in its primary language alone
// (0x0407 German (Germany) finds 0x0007 German), and sets `langId` to the one found.
const void* findDialog(HINSTANCE module, WORD dialogId, WORD& langId) {
    HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(dialogId), langId);
    if (!found) {
        WORD primary = MAKELANGID(PRIMARYLANGID(langId), SUBLANG_NEUTRAL);
        found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(dialogId), primary);
        if (!found) return nullptr;
        langId = primary;
    }
    HGLOBAL loaded = LoadResource(module, found);
    return loaded ? LockResource(loaded) : nullptr;
}

INT_PTR CALLBACK previewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_TIMER:
        if (wParam == kCloseTimer) DestroyWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) DestroyWindow(dialog);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

// The texts and states that the options step gives the dialog at run time, for a fresh
// installation with both icons preset.
void prepareOptions(HINSTANCE module, HWND dialog, WORD langId) {
    char text[260];
    HICON icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_SETUP));
    if (icon) SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    loadLanguageString(module, langId, IDS_INSTALL_TITLE, text, sizeof text);
    SetWindowTextA(dialog, text);
    SetDlgItemTextA(dialog, IDC_FOLDER, kSampleFolder);
    loadLanguageString(module, langId, IDS_FOLDER_CHOOSE, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_FOLDER_LABEL, text);
    CheckDlgButton(dialog, IDC_DESKTOP_ICON, BST_INDETERMINATE);
    CheckDlgButton(dialog, IDC_STARTMENU_ICON, BST_INDETERMINATE);
}

// The progress window as the run shows it part-way through its phases.
void prepareProgress(HINSTANCE module, HWND dialog) {
    char text[260];
    loadLanguageString(module, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), IDS_INSTALL_TITLE, text, sizeof text);
    SetWindowTextA(dialog, text);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 8));
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 3, 0);
}

int usage() {
    std::fprintf(stderr, "usage: preview options LANGID [SECONDS]\n       preview progress [SECONDS]\n"
                         "       preview help SETUP_EXE [SECONDS]\n");
    return 2;
}

void printFrame(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
    std::fflush(stdout);
}

struct ProcessWindow {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK findShownWindow(HWND window, LPARAM parameter) {
    auto* wanted = reinterpret_cast<ProcessWindow*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != wanted->processId || !IsWindowVisible(window)) return TRUE;
    wanted->window = window;
    return FALSE;
}

// The help as the user sees it: setup.exe itself, in the language of the session's locale.
int previewHelp(const char* setup, int seconds) {
    char command[MAX_PATH + 8];
    std::snprintf(command, sizeof command, "\"%s\" /?", setup);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "preview: cannot start %s (%lu)\n", setup, GetLastError());
        return 1;
    }
    ProcessWindow shown = {process.dwProcessId, nullptr};
    for (int i = 0; i < 150 && !shown.window; ++i) {
        EnumWindows(findShownWindow, reinterpret_cast<LPARAM>(&shown));
        if (!shown.window) Sleep(100);
    }
    if (shown.window) printFrame(shown.window);
    else std::fprintf(stderr, "preview: %s showed no window\n", setup);
    if (shown.window) WaitForSingleObject(process.hProcess, seconds > 0 ? DWORD(seconds) * 1000 : INFINITE);
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return shown.window ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    int argc = __argc;
    char** argv = __argv;
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "help") == 0)
        return argc < 3 ? usage() : previewHelp(argv[2], argc > 3 ? std::atoi(argv[3]) : 0);

    bool options = std::strcmp(argv[1], "options") == 0;
    if (!options && std::strcmp(argv[1], "progress") != 0) return usage();
    int next = 2;
    WORD langId = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    if (options) {
        if (argc < 3) return usage();
        char* end = nullptr;
        unsigned long parsed = std::strtoul(argv[2], &end, 16);
        if (*end != '\0' || parsed == 0 || parsed > 0xFFFF) return usage();
        langId = static_cast<WORD>(parsed);
        next = 3;
    }
    int seconds = argc > next ? std::atoi(argv[next]) : 0;

    WORD dialogId = options ? IDD_OPTIONS : IDD_PROGRESS;
    const void* dialogTemplate = findDialog(module, dialogId, langId);
    if (!dialogTemplate) {
        std::fprintf(stderr, "preview: no dialog %u in language %04X\n", dialogId, langId);
        return 1;
    }
    HWND dialog = CreateDialogIndirectParamA(module, static_cast<LPCDLGTEMPLATEA>(dialogTemplate),
                                             nullptr, previewProc, 0);
    if (!dialog) {
        std::fprintf(stderr, "preview: dialog creation failed (%lu)\n", GetLastError());
        return 1;
    }
    if (options) {
        prepareOptions(module, dialog, langId);
    } else {
        prepareProgress(module, dialog);
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    if (seconds > 0) SetTimer(dialog, kCloseTimer, static_cast<UINT>(seconds) * 1000, nullptr);

    printFrame(dialog);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return 0;
}
