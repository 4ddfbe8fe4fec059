// Facts about the running system that several parts of the setup ask for.
#pragma once
#include <windows.h>

// The version record of the running system; platform id 0 when the query fails.
OSVERSIONINFOA systemVersion();

// The system is of the NT family (platform id 2).
bool isNtFamily();

// Limits the DLLs that the process loads from now on to the system folder, so that
// one lying beside setup.exe (in a downloads folder, say) is never loaded in place of
// a system DLL. Returns whether the limit is in place. SetDefaultDllDirectories is
// looked up at run time: Windows 8 on has it, Vista and 7 only with update KB2533623;
// elsewhere, and on Windows 9x, the search stays as it is.
bool restrictDllSearchToSystemFolder();

// A shell folder (CSIDL_...) into `out` (260 characters). Returns 0, with `out` empty,
// when the shell cannot name it. SHGetFolderPathA is looked up at run time: the shells
// of Windows 98 and NT 4.0 may lack it, and its redistributable "shfolder.dll" has it.
int shellFolderPath(int csidl, char* out);
