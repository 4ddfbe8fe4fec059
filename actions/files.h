// Copying the application's files into place and removing them again.
#pragma once
#include <windows.h>
#include <stdint.h>

// Installs (run flag 0x1 set) or removes the files in `folder`; with `*restartNeeded`
// the work is scheduled for the next restart. A file that the run would replace or
// delete and that is in use sets `*restartNeeded` first, as does a move or deletion
// that stops part way at a file in use, whose remaining files are then scheduled.
// Returns 1 on success. A folder so long that its paths would not fit fails before any
// file is touched.
int deployFiles(HWND owner, const char* folder, int* restartNeeded, uint32_t runFlags);

// The names of the files that an installation takes from the setup folder and what
// each is installed as (the first into the Windows folder, the others into the
// program folder), in the settings-file or the descriptor variant.
int deploymentFiles(int descriptor, const char* const** sources, const char* const** targets);

// Whether every path that deployFiles forms in `folder` fits (the installed files,
// their lists for the shell, the stray files it looks for). 1 or 0.
int programFolderFits(const char* folder);

// Creates `path` with every missing parent. Returns 1 when the folder exists afterwards
// and every level of it, made now or found, passes folderTreeTrusted (a level that
// another user made or linked elsewhere meanwhile fails it, the cause in the trace).
// A level made directly at the root of a drive ("C:\Veltrano") is made with
// createProtectedFolder(path, 1): through the root's inheritable entries every user
// could change what is inside a new folder there, and plant a DLL beside the
// application that an administrator starts later.
int createFolderTree(const char* path);

// Gives a staged copy the Administrators as owner and group, full access for them
// and read/execute for everyone (NT family). Returns 1 on success.
int secureStagedFile(const char* path);

// Creates the new folder `path` on the NT family with full control for the
// administrators and the system, read and execute for the users where `usersRead`,
// inherited by everything inside, and nothing inherited from its parent; on Windows
// 9x a plain folder. Returns 1 on success.
int createProtectedFolder(const char* path, int usersRead);

// Creates the new folder `path` for staged copies: on the NT family only the
// administrators and the system may use it, with nothing inherited from its parent.
// Fails when anything of that name is there already, so a folder that another user
// made first is never taken for it. Returns 1 on success.
int createPrivateFolder(const char* path);
