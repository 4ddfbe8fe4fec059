// Operations left for the next restart: MoveFileExA on the NT family, the "rename"
// section of WININIT.INI on Windows 9x.
#pragma once
#include <stddef.h>

// The name of a staging folder for the copies of an installation: this prefix and
// eight hexadecimal digits.
extern const char kStagingPrefix[];
const size_t kStagingNameChars = 12 + 8;

// Deletes the files `paths` at the next restart. Windows 9x: one "NUL=" line (short
// path) per file that exists, added after the lines the section already holds; files
// that do not exist need no line.
int scheduleDeletions(const char* const* paths, size_t count);
// Replaces `installed` by `staged` at the next restart. NT family: deletes `installed`,
// then moves `staged` onto it; when the move cannot be scheduled, the deletion is taken
// back: the restart must not delete a file and put nothing in its place. Windows 9x: a
// file that does not exist yet has no short name and nothing in its place: it is moved
// now.
int scheduleReplacement(const char* staged, const char* installed);

// Takes back the operations that earlier runs left for the next restart on the files
// `paths` (their deletions, and moves onto them), so that the restart completes what
// this run does instead of undoing it: in the system's pending list on the NT family,
// in WININIT.INI on Windows 9x. Entries that name other files (other programs') stay
// as they are. On the NT family a staged copy whose move is taken back goes with it,
// and its staging folder once empty. Returns 0 when the list could not be read or
// written.
int withdrawPendingOperations(const char* const* paths, size_t count);

// NT family: whether a pending operation names `folder` or a file in it (a staging
// folder whose copies wait for the restart). 1 also when the list cannot be read.
int pendingOperationsWithin(const char* folder);
