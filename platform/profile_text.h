// An INI file held in memory, read with the rules of the platform's profile reader:
// the release-folder checker reads setup data with it where there is no Windows, and
// tests and fuzzing compare and drive the settings lookup with it.
#pragma once
#include <stdint.h>

// A ProfileReader (setupdata/setup_value.h) whose `file` is the INI text itself,
// NUL-terminated. Section and key names compare without regard to ASCII letter
// case; blanks around names and values are dropped; a value enclosed in a pair
// of the same quote character ('"' or '\'') loses them; ';' starts a comment
// line; lines before the first section and lines without '=' hold no key. The
// first section of a name is the only one searched, and its first key of the
// name counts. An absent key gives `defaultText` (null: empty) with trailing
// blanks dropped. The result is cut to size - 1 characters and terminated;
// returns the number of characters copied (size 0: nothing is written, 0).
uint32_t readProfileText(const char* section, const char* key, const char* defaultText,
                         char* out, uint32_t size, const char* file);

// The line (from 1) that holds `key` of `section` as readProfileText finds it, or the
// section's heading when `key` is null; 0 when there is none.
int profileTextLine(const char* text, const char* section, const char* key);
