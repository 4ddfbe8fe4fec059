// Loads a DLL by name and so shows what the process's DLL search picks at that point.
//
//   planted_probe               loads "shfolder.dll", as the setup does on demand when
//                               the shell lacks SHGetFolderPathA, with the search the
//                               process started with
//   planted_probe /setup        runs the setup's entry routine first (silently, with no
//                               setup data beside it, so it ends at once), then the same,
//                               and returns the entry routine's exit code
//   planted_probe /load NAME    loads NAME with the search of NT 4.0 to Vista, which
//                               cannot be narrowed: the program's folder first
//   planted_probe /setup NAME   runs the entry routine first, then the same
#include <windows.h>
#include <string.h>

int main(int argc, char** argv)
{
    int code = 0;
    if (argc > 1 && strcmp(argv[1], "/setup") == 0) {
        char commandLine[] = "/S";
        code = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
    }
    const char* name = "shfolder.dll";
    if (argc > 2) {
        name = argv[2];
        // Undoes the narrowing: the program's folder, then the system folder.
        using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
        auto widen = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
        if (widen == nullptr || !widen(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS))
            return 99;
    }
    HMODULE library = LoadLibraryA(name);
    if (library)
        FreeLibrary(library);
    return code;
}
