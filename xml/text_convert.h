// Reading a stored value out of the descriptor tree: UTF-8 to the narrow
// system code page.
#pragma once
#include <stddef.h>

// Converts the UTF-8 string `text` into `output`, NUL-terminated, which holds
// `capacity` bytes. Returns 1 on success; 0 when no converter is available,
// the text does not convert, or the result with its terminator needs more than
// `capacity` bytes (then `output` is untouched).
//
// Windows: MultiByteToWideChar and WideCharToMultiByte to the ANSI code page,
// looked up at run time in kernel32.dll, or in unicows.dll on Windows 9x.
// Elsewhere (the host build): ISO-8859-1, with '?' for a character outside it
// and for each byte of a malformed sequence, as a code page's default
// character would stand in for it.
int convertUtf8ToAnsi(const char* text, char* output, size_t capacity);

// Forgets the conversion functions found so far; the next conversion looks them up
// again. Called before the module that holds them (unicows.dll) is unloaded.
void forgetConversionFunctions();
