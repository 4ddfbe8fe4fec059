// The functions of the system DLLs that setup.exe takes at run time, by their full path
// in the system folder, instead of importing them. The loader resolves an import before
// any of the program's code runs, from the program's own folder first unless the DLL is
// one of the system's known DLLs: on NT 4.0 and 2000, "comctl32.dll", "ole32.dll",
// "setupapi.dll" or "msvcrt.dll" dropped beside setup.exe (a downloads folder) would run
// with the administrator's rights. Only kernel32, user32, gdi32 and advapi32, known DLLs
// on every NT version from 3.51 on, are imported (scripts/check-shipping-image.sh).
// shell32 is a known DLL too, but on NT 4.0 it imports comctl32 by name: loaded here,
// its own imports are searched in the system folder first.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlobj.h>

struct SystemLibraries {
    decltype(&::InitCommonControls) InitCommonControls;                    // comctl32
    decltype(&::CoInitialize) CoInitialize;                                // ole32
    decltype(&::CoUninitialize) CoUninitialize;
    decltype(&::CoCreateInstance) CoCreateInstance;
    decltype(&::CoTaskMemFree) CoTaskMemFree;
    decltype(&::SHBrowseForFolderA) SHBrowseForFolderA;                    // shell32
    decltype(&::SHChangeNotify) SHChangeNotify;
    decltype(&::SHFileOperationA) SHFileOperationA;
    decltype(&::SHGetFileInfoA) SHGetFileInfoA;
    decltype(&::SHGetMalloc) SHGetMalloc;
    decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA;
    decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation;
    decltype(&::ShellExecuteExA) ShellExecuteExA;
    decltype(&::SetupPromptReboot) SetupPromptReboot;                      // setupapi
};

// DLLs that the system's own DLLs load by name, on their own, for functions the run
// calls. Where the DLL search cannot be narrowed (NT 4.0 to Vista, 7 without its
// update, Windows 9x), such a load looks in the folder of setup.exe first. The first
// call of systemLibraries() loads each from the system folder by full path, so that a
// later load by name finds the module loaded already. One that the system lacks is
// left out: nothing there loads it either.
extern const char* const kLoadedByName[];
extern const size_t kLoadedByNameCount;

// The functions, loaded on the first call: WinMain calls it right after narrowing the
// DLL search. Every pointer is set when systemLibrariesLoaded() is true.
const SystemLibraries& systemLibraries();

// Whether every DLL and function above was found (the first call loads them); the
// name of the first one missing into the trace otherwise.
bool systemLibrariesLoaded();

// Initialises the COM library for the lifetime of the guard.
class ComScope {
public:
    ComScope() : initialized_(SUCCEEDED(systemLibraries().CoInitialize(nullptr))) {}
    ~ComScope()
    {
        if (initialized_)
            systemLibraries().CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool ok() const { return initialized_; }

private:
    bool initialized_;
};
