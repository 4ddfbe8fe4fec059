// Who may change the folders that the installation puts the program's files in, and the
// search-folder step, which chooses the download folder.
#pragma once
#include <stdint.h>

// Whether the existing folder `folder` (in its one spelling, see canonicalFolderPath)
// and every existing folder above it, up to the drive's root or the share, belong to
// the administrators, the system, the system's installer service or the user running
// the setup (folderTreeTrusted, platform/trusted_names.h: each level is read on the
// name itself, and a link counts by its own owner). A folder that another user made first (at a drive's root, say) stays in
// that user's hands: whatever the installation puts there, that user could replace
// later, or put a DLL beside the application. Returns 1 on Windows 9x, and for a
// volume without owners (FAT); 0, with the cause in the trace, when another owner, or
// an owner that cannot be read, is found.
int folderOwnersTrusted(const char* folder);

// Creates the new download folder `path`: on the NT family every user may read it and
// create files and folders in it, while only their creator, the administrators and the
// system may change or delete what is inside; nothing is inherited from its parent (a
// drive's root would let every user change every download). A plain folder on Windows
// 9x. Returns 1 on success.
int createDownloadFolder(const char* path);

// The download folder that the application will trust, into `folder` (260), which holds
// the one the run chose: a "DownloadDir" kept from earlier replaces it. A missing folder
// is made as a new download folder is (createDownloadFolder); the folder and every level
// above it must then pass folderTreeTrusted. Otherwise the Windows folder is taken (and
// replaces a kept value), or, when even that cannot be named, nothing ("", a kept value
// removed). 0 only when a kept value could not be replaced.
int trustDownloadFolder(char* folder);

// The search-folder step of an installation: registers the search folders of [INIT]
// DEFAULTSEARCH and, when none of them is a usable folder, creates and registers a
// download folder from [INIT] DOWNLOAD; the folder chosen goes into `downloadFolder`
// (260, holding the default), and then through trustDownloadFolder. Returns 0 when a
// search folder could not be registered or a kept download folder not replaced.
int registerSearchFolders(char* downloadFolder, uint32_t runFlags);
