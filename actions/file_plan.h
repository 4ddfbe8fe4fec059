// Where an installation's files go: the names taken from the setup folder, the paths
// they are installed under, and the lists in the shell's form. Shared by the file
// actions and the release-folder checker; no file is touched here.
#pragma once
#include <stddef.h>

#include "platform/text.h"

enum { kFileCount = 12, kListChars = 10 * kPathChars };

// A manifest beside the installed program would override the application's own.
extern const char kManifestName[];

// Null-terminated paths one after another, ended by an empty path: the shell's form.
struct PathList {
    char text[kListChars];
    size_t used;
    const char* paths[kFileCount];
    size_t count;
};

void clearList(PathList& list);
// Appends `folder`, `separator` and `name`. Returns 0 when the path or the list
// would not fit.
int addPath(PathList& list, const char* folder, const char* separator, const char* name);

struct Places {
    int nt;  // platform id 2; otherwise Windows 9x
    char windowsFolder[kPathChars];
    const char* const* sources;
    const char* const* targets;
    const char* otherSettingsName;  // the installed settings file of the other mode
};

// The places of this system and setup-data mode; 0 when the Windows folder is unknown.
int findPlaces(Places& places);
// The installed paths: the uninstaller in the Windows folder, the rest in `folder`.
int buildInstalledList(const Places& places, const char* folder, PathList& list);
// The installed list and the stray files' paths in `folder`; 0 when one does not fit.
int formInstalledPaths(const Places& places, const char* folder, PathList& installed);
