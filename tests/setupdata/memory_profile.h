// An INI file held in memory, read with the rules of the platform's profile
// reader, for tests and fuzzing of the settings lookup on any system.
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
uint32_t readMemoryProfile(const char* section, const char* key, const char* defaultText,
                           char* out, uint32_t size, const char* file);
