#include "platform/libraries.h"

#include "platform/system.h"
#include "platform/trace.h"

const char* const kLoadedByName[] = {
    "ntmarta.dll",    // advapi32: GetSecurityInfo, SetNamedSecurityInfoA, SetEntriesInAclA
    "cryptbase.dll",  // advapi32 on 7 forwards SystemFunction036 (the staging folder's name) there
    "uxtheme.dll",    // user32 and the common controls draw the dialogs with visual styles
    "msimg32.dll",    // the themed controls' drawing
    "oleaut32.dll",   // the shell-link object's interfaces
};
const size_t kLoadedByNameCount = sizeof kLoadedByName / sizeof kLoadedByName[0];

namespace {

struct Loaded {
    SystemLibraries functions;
    bool complete;
};

template <typename Function>
bool bindProcedure(HMODULE module, const char* name, Function* out)
{
    *out = procedureOf<Function>(module, name);
    if (*out == nullptr)
        traceCall("GetProcAddress", GetLastError(), name);
    return *out != nullptr;
}

HMODULE load(const char* name)
{
    HMODULE module = loadSystemLibrary(name);
    if (module == nullptr)
        traceCall("LoadLibraryExA", GetLastError(), name);
    return module;
}

// The common controls by name on XP and later: the manifest's side-by-side dependency
// then gives version 6 from the system's assembly store, never a file beside the
// program. Earlier systems have no such redirection, so the system folder's copy.
HMODULE loadCommonControls()
{
    OSVERSIONINFOA version = systemVersion();
    bool sideBySide = version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                      (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1));
    if (!sideBySide)
        return load("comctl32.dll");
    return TRACED(LoadLibraryA, ("comctl32.dll"), "comctl32.dll");
}

Loaded loadAll()
{
    Loaded loaded = {};
    SystemLibraries& f = loaded.functions;
    for (const char* name : kLoadedByName)
        loadSystemLibrary(name);
    HMODULE controls = loadCommonControls();
    HMODULE ole = load("ole32.dll");
    HMODULE shell = load("shell32.dll");
    HMODULE setup = load("setupapi.dll");
    loaded.complete =
        controls && ole && shell && setup &&
        bindProcedure(controls, "InitCommonControls", &f.InitCommonControls) &&
        bindProcedure(ole, "CoInitialize", &f.CoInitialize) &&
        bindProcedure(ole, "CoUninitialize", &f.CoUninitialize) &&
        bindProcedure(ole, "CoCreateInstance", &f.CoCreateInstance) &&
        bindProcedure(ole, "CoTaskMemFree", &f.CoTaskMemFree) &&
        bindProcedure(shell, "SHBrowseForFolderA", &f.SHBrowseForFolderA) &&
        bindProcedure(shell, "SHChangeNotify", &f.SHChangeNotify) &&
        bindProcedure(shell, "SHFileOperationA", &f.SHFileOperationA) &&
        bindProcedure(shell, "SHGetFileInfoA", &f.SHGetFileInfoA) &&
        bindProcedure(shell, "SHGetMalloc", &f.SHGetMalloc) &&
        bindProcedure(shell, "SHGetPathFromIDListA", &f.SHGetPathFromIDListA) &&
        bindProcedure(shell, "SHGetSpecialFolderLocation", &f.SHGetSpecialFolderLocation) &&
        bindProcedure(shell, "ShellExecuteExA", &f.ShellExecuteExA) &&
        bindProcedure(setup, "SetupPromptReboot", &f.SetupPromptReboot);
    return loaded;
}

const Loaded& loaded()
{
    // Loaded once, by the first caller; the program has one thread.
    static bool done;
    static Loaded libraries;
    if (!done) {
        libraries = loadAll();
        done = true;
    }
    return libraries;
}

}  // namespace

const SystemLibraries& systemLibraries()
{
    return loaded().functions;
}

bool systemLibrariesLoaded()
{
    return loaded().complete;
}
