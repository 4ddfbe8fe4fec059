// Facts about the running system that several parts of the setup ask for.
#pragma once
#include <windows.h>

// The version record of the running system; platform id 0 when the query fails.
OSVERSIONINFOA systemVersion();

// The system is of the NT family (platform id 2).
bool isNtFamily();

// A shell folder (CSIDL_...) into `out` (260 characters). Returns 0, with `out` empty,
// when the shell cannot name it. SHGetFolderPathA is looked up at run time: the shells
// of Windows 98 and NT 4.0 may lack it, and its redistributable "shfolder.dll" has it.
int shellFolderPath(int csidl, char* out);
