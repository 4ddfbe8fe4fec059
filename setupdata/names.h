// Checks of names that the setup turns into paths on the machine.
#pragma once
#include <stddef.h>

// Whether `name` can stand as one file name in a folder: not empty; no path
// separator, drive or stream colon, wildcard, quote, angle bracket, bar or control
// character; no trailing dot or space; and not a device name (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, also with an extension, in any case).
bool isValidFileName(const char* name);

// Whether `folder` names a folder from a root: a drive ("C:\...") or a network
// share ("\\server\share..."). A relative folder would be resolved against whatever
// the current folder is, at installation and again, differently, at removal.
bool isAbsoluteFolder(const char* folder);

// Whether `folder` is absolute and every folder name in it, after the drive or the
// share, is "." or ".." or a valid file name: a name the system refuses ("D:" inside
// the path, "a/b") would fail only after files were copied.
// The device and unparsed forms ("\\.\C:\...", "\\?\C:\...") are refused: the
// system takes the names in them as written, past these checks.
bool isValidFolderPath(const char* folder);

// The one spelling of the valid folder path `folder` (see isValidFolderPath) into `out`,
// as the system resolves it: doubled and trailing backslashes dropped, "." left out,
// ".." taking away the name before it (never the drive or the share). "C:\\Veltrano\",
// "C:\.\Veltrano" and "C:\Temp\..\Veltrano" all become "C:\Veltrano"; a drive's root
// stays "C:\". Checks of where a folder lies (at a drive's root) need this form.
// Returns 0 when `folder` is not a valid folder path or the result does not fit.
int canonicalFolderPath(const char* folder, char* out, size_t capacity);
