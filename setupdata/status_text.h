// Fitting a folder path into the folder browser's status line.
#pragma once
#include <stddef.h>

// One shortening pass over `text` (the status text, `capacity` bytes): drops the
// folder name before the last one and puts " ... " plus the last backslash and
// name of `folder` in its place, so C:\Alpha\Beta\Gamma\Delta becomes
// C:\Alpha\Beta ... \Delta. Returns 0, leaving `text` alone, when it holds fewer
// than two backslashes.
int shortenStatusText(char* text, size_t capacity, const char* folder);
