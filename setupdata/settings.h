// Readers of the settings file "ZemSetup.dat" and the release file "PkgMgr.zem".
// Each returns the number of characters obtained (0: the key is not given) and
// leaves its output untouched when the key is not given.
#pragma once
#include <stddef.h>

// Reads `key` of `section` from `file` (at most `size` <= 260 characters) with the
// platform's profile reader, through resolveSetupValue (setup_value.h). A value
// written as %NAME% is looked up in "STRINGS.<language>", "STRINGS.<primary
// language>" and "STRINGS" of the same file.
int readSetupValue(const char* section, const char* key, const char* defaultText, char* out,
                   size_t size, const char* file);

// The program-files folder, "\" and [INIT] TARGET, into `out` (260).
int readTargetFolder(char* out);
// [INIT] DEFAULTSEARCH and [INIT] DOWNLOAD, ";"-separated lists, into zeroed 260-character buffers.
int readDefaultSearch(char* out);
int readDownloadFolders(char* out);
// The menu folder from [INIT] GROUP; 1 or 0.
int readMenuGroup(char* out);
// 1 when [RADAR] FILE is on, 2 when only ALTFILE is, else 0.
int readRadarSetting();
// The release's name and version (260 each) from the release file or the descriptor.
int readReleaseIdentity(char* name, char* version);
