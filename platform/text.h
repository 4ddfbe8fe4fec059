// Bounded text operations for the fixed-size narrow buffers of the program.
// Every function writes at most `capacity` bytes, always leaves `out`
// NUL-terminated (when capacity > 0) and returns nonzero only when the whole
// result fit; the caller decides what a truncation means.
#pragma once
#include <stddef.h>

enum { kPathChars = 260 };  // the platform's path limit, terminator included

// Copies `text` into `out`. Returns 1 when it fit, else 0 (out holds the cut text).
int copyText(char* out, size_t capacity, const char* text);

// Appends `text` to the string already in `out`. Returns 1 when it fit.
int appendText(char* out, size_t capacity, const char* text);

// printf-like formatting with a small, fixed set of conversions:
// %s, %d, %u, %X and %x with an optional '0' flag and width, and %%.
// Returns 1 when the whole result fit, else 0 (out holds the cut text).
int formatText(char* out, size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Length of `text`, but at most `limit` (does not read past `limit` bytes).
size_t boundedLength(const char* text, size_t limit);

// Fills a format that comes from the resources (so it is not a literal): every
// "%s" takes `text`, "%%" gives '%', anything else is copied as written.
// Returns 1 when the whole result fit.
int formatWithText(char* out, size_t capacity, const char* format, const char* text);

// Splits a ";"-separated list (the setup data's folder lists) in place: each ";"
// becomes a terminator. Note the list's end first, for nextPiece.
void splitList(char* list);

// The next piece after `piece` in a split list, or null at `end`, the end of the list's text.
char* nextPiece(char* piece, const char* end);
