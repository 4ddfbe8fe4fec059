// Operations left for the next restart: MoveFileExA on the NT family, the "rename"
// section of WININIT.INI on Windows 9x.
#pragma once
#include <stddef.h>

// NT family: deletes `path` at the next restart.
int scheduleDeletion(const char* path);
// NT family: deletes `installed`, then moves `staged` onto it at the next restart.
int scheduleReplacement(const char* staged, const char* installed);

// Windows 9x: one "NUL=" line (short path) per file of `paths` that exists, added
// after the lines the section already holds. Files that do not exist need no line.
int addRenameDeletions(const char* const* paths, size_t count);
// Windows 9x: replaces `installed` by `staged` at the next restart. A file that
// does not exist yet has no short name and nothing in its place: it is moved now.
int addRenameReplacement(const char* staged, const char* installed);
