// An INI file held in memory, read with the rules of the platform's profile reader:
// the release-folder checker reads setup data with it where there is no Windows, and
// tests and fuzzing compare and drive the settings lookup with it.
#pragma once
#include <stddef.h>
#include <stdint.h>

// A ProfileReader (setupdata/setup_value.h) whose `file` is the INI text itself,
// NUL-terminated; readProfileBytes reads `length` bytes, NUL bytes included.
//
// The rules, as the system's reader applies them (the differential test in
// tests/profile checks them against it): a line ends at CR or LF, each alone or in
// any mix; blanks are space, tab, vertical tab, form feed and the DOS end-of-file byte
// 0x1A, and are dropped around lines, names and values. A line that begins with "["
// and holds a "]" heads a section named by the text up to its last "]"; a "[" line
// without one is a key line. A key line holds a name up to its first "=" and a value
// behind it, or only a name (it gives no value). Lines before the first heading, and
// comment lines (";" included) are key lines of no use to the setup. Names compare
// without regard to the case of ASCII letters, and up to a NUL byte; the first
// section of a name is the only one searched and its first key of the name counts; a
// key with an empty name counts only where the key line before it in the section has
// a name. A value (or the default) that begins with a quote (" or ') and ends with the
// same one loses both; a NUL byte ends it. An absent key, or one without "=", gives
// `defaultText` (null: empty) with trailing spaces dropped (never its first
// character). The result is cut to size - 1 characters and terminated; returns the
// number of characters copied (size 0: nothing is written, 0).
uint32_t readProfileText(const char* section, const char* key, const char* defaultText,
                         char* out, uint32_t size, const char* file);
uint32_t readProfileBytes(const char* section, const char* key, const char* defaultText,
                          char* out, uint32_t size, const char* text, size_t length);

// The line (from 1) that holds `key` of `section` as readProfileText finds it, or the
// section's heading when `key` is null; 0 when there is none. Lines are counted at
// LF, at a CR not followed by LF, and at a CR LF pair.
int profileTextLine(const char* text, const char* section, const char* key);
int profileBytesLine(const char* text, size_t length, const char* section, const char* key);
