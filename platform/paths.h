// Splitting and joining narrow paths in the system code page. In the double-byte code
// pages (932, 936, 949, 950) the second byte of a character may be 0x5C, the
// backslash ("ソ" is 83 5C): a path is read from its start, a character at a time,
// and only a backslash that is a whole character separates names.
#pragma once
#include <stddef.h>

// Whether `c` is the first byte of a two-byte character in the system code page.
bool isLeadByte(unsigned char c);

#if !defined(_WIN32)
// The code page that isLeadByte follows off Windows (1252 at start; 932, 936, 949
// and 950 have lead bytes). Returns 0 for a code page it does not know.
int setPathCodePage(unsigned codePage);
unsigned pathCodePage();
#endif

// The character after the one at `p` (a lead byte and its trail byte are one).
const char* nextPathChar(const char* p);

// Length of the root of `path` without the backslash that ends it: 2 for "C:...",
// up to the share's end for "\\server\share..." (the whole text when no backslash
// follows the share); 0 for a path without a root.
size_t pathRootLength(const char* path);

// The last backslash of `path` that separates names, or null.
const char* lastSeparator(const char* path);
char* lastSeparator(char* path);

// Length of the folder that holds the last name of `path` (where its last separator
// stands): "C:\a\b" 4, "C:\a" 2; 0 when there is none (the two backslashes that start
// a network path separate nothing).
size_t parentLength(const char* path);

// The last name of `path`: after its last separator, or the whole text.
const char* lastPathName(const char* path);

// Whether `path` ends with a separator (not the trail byte of its last character).
bool endsWithSeparator(const char* path);

// Adds a backslash to `path` unless it ends with one. Returns 0 when it does not fit.
int endWithSeparator(char* path, size_t capacity);

// Appends `name` to the folder `path`, with one backslash between. Returns 0 when
// the result does not fit (`path` then holds the cut text).
int appendPathName(char* path, size_t capacity, const char* name);
