// Splitting and joining narrow paths in the system code page. In the double-byte code
// pages (932, 936, 949, 950) the second byte of a character may be 0x5C ("ソ" is
// 83 5C): paths are read from their start, a character at a time, and only a
// backslash that is a whole character separates names.
#pragma once
#include <stddef.h>

// Whether `c` is the first byte of a two-byte character in the system code page.
bool isLeadByte(unsigned char c);

#if !defined(_WIN32)
// The code page that isLeadByte follows off Windows: 1252 (the start), 932, 936, 949
// or 950. Returns 0 for another.
int setPathCodePage(unsigned codePage);
unsigned pathCodePage();
#endif

// Length of the root of `path` without its ending backslash: 2 for "C:...", up to
// the share's end for "\\server\share..."; 0 for a path without a root.
size_t pathRootLength(const char* path);

// The first separator at or after `p`, or the text's end; the last separator, or null.
const char* nextSeparator(const char* p);
const char* lastSeparator(const char* path);
inline char* lastSeparator(char* path) { return const_cast<char*>(lastSeparator(static_cast<const char*>(path))); }

// Length of the folder that holds the last name ("C:\a\b" 4, "C:\a" 2); 0 for none
// (the two backslashes that start a network path separate nothing).
size_t parentLength(const char* path);

// The last name of `path`: after its last separator, or the whole text.
const char* lastPathName(const char* path);

// Whether `path` ends with a separator; adding one unless it does, or a separator
// and `name`. The last two return 0 when the result does not fit.
bool endsWithSeparator(const char* path);
int endWithSeparator(char* path, size_t capacity);
int appendPathName(char* path, size_t capacity, const char* name);
