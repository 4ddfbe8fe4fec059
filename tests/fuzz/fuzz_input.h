// Helpers shared by the fuzz targets: a failed invariant aborts, which libFuzzer
// reports with the input; inputs carry several texts as NUL-ended fields.
#pragma once
#include <stdlib.h>
#include <string.h>

inline void require(bool condition)
{
    if (!condition)
        abort();
}

// One NUL-ended field of the input, or `fallback` when the input has ended.
inline const char* field(const char*& cursor, const char* end, const char* fallback)
{
    if (cursor >= end)
        return fallback;
    const char* text = cursor;
    const char* nul = static_cast<const char*>(memchr(cursor, 0, size_t(end - cursor)));
    cursor = nul ? nul + 1 : end;
    return text;
}
