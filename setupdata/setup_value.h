// The shared value lookup of the settings and release files, apart from the
// platform's profile reader so that it runs anywhere: readSetupValue hands it
// GetPrivateProfileStringA, tests and fuzzing an in-memory reader.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "xml/item_data.h"

// Reads `key` of `section` of the INI file `file` into `out` (`size` characters,
// terminator included) as GetPrivateProfileStringA does: returns the number of
// characters copied without the terminator; a value too long is cut to size - 1
// characters; an absent key gives `defaultText`.
typedef uint32_t (*ProfileReader)(const char* section, const char* key, const char* defaultText,
                                  char* out, uint32_t size, const char* file);

// Reads `key` of `section` through `readProfile` (at most `size` <= 260
// characters into `out`). A value written as %NAME% is looked up, once, in
// "STRINGS.<language>", "STRINGS.<primary language>" and "STRINGS" of the same
// file, with the languages of `profile`. Returns the number of characters
// obtained; 0 when the key is not given, and then `out` is untouched.
int resolveSetupValue(ProfileReader readProfile, const SystemProfile* profile, const char* section,
                      const char* key, const char* defaultText, char* out, size_t size,
                      const char* file);

// Told where each value came from, for the release-folder checker; null in setup.exe.
// Called with the key read (`value` null when it is not given) and, for a reference,
// again with the strings section and name that held it (`section` null when none did).
extern void (*setupValueSink)(const char* file, const char* section, const char* key, const char* value);
