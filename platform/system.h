// Facts about the running system that several parts of the setup ask for.
#pragma once
#include <windows.h>

// The version record of the running system; platform id 0 when the query fails.
OSVERSIONINFOA systemVersion();

// The system is of the NT family (platform id 2).
bool isNtFamily();

// `name` of `module` as a function of type Function, or null (also for a null module).
// Functions that not every supported system has are looked up this way: a missing
// import would keep the program from loading at all.
template <typename Function>
Function procedureOf(HMODULE module, const char* name)
{
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Limits the DLLs that the process loads from now on to the system folder, so that
// one lying beside setup.exe (in a downloads folder, say) is never loaded in place of
// a system DLL. Returns whether the search was narrowed. SetDefaultDllDirectories is
// looked up at run time: Windows 8 on has it, Vista and 7 only with update KB2533623;
// where it is missing, SetDllDirectoryA("") (XP SP1 on) takes the current folder out
// of the search; on Windows 9x, and NT before XP SP1, the search stays as it is.
bool restrictDllSearchToSystemFolder();

// The system DLL `name` ("setupapi.dll") from the system folder by its full path, or
// the one already loaded. Its own dependencies are searched from the system folder
// first (LOAD_WITH_ALTERED_SEARCH_PATH), not from the program's folder, also on the
// systems where the search cannot be narrowed. Null when it cannot be loaded.
HMODULE loadSystemLibrary(const char* name);

// Whether the file `name` lies in `folder` itself: its path "folder\name" into `out`
// (260 characters) and 1 when a file (not a folder) is there; 0, with `out` empty,
// when not or when the path would not fit. Unlike SearchPathA, a ";" in the folder's
// name is part of the name, never a separator between folders.
int fileInFolder(const char* folder, const char* name, char* out);
