// The shell's folders (desktop, Start menu, program files) as paths.
#pragma once

// A shell folder (CSIDL_...) into `out` (260 characters). Returns 0, with `out` empty,
// when the shell cannot name it. SHGetFolderPathA is looked up at run time: the shells
// of Windows 98 and NT 4.0 may lack it, and its redistributable "shfolder.dll" (loaded
// from the system folder) has it. On the NT family the folder is asked for in its wide
// form and handed back in a narrow form that names the same folder.
int shellFolderPath(int csidl, char* out);
