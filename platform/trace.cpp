#include "platform/trace.h"

#include <windows.h>

#include "platform/text.h"

namespace {

// A cut line still says what failed: the subject comes last.
const size_t kTraceChars = 2 * kPathChars + 128;

void emit(char* line)
{
    appendText(line, kTraceChars, "\n");
    OutputDebugStringA(line);
}

}  // namespace

void traceCall(const char* call, unsigned long error, const char* subject)
{
    DWORD kept = GetLastError();
    char line[kTraceChars];
    formatText(line, sizeof line, "PkgMgr setup: %s failed, error %u (0x%08X): %s", call,
               unsigned(error), unsigned(error), subject ? subject : "");
    emit(line);
    SetLastError(kept);
}

void traceCause(const char* what, const char* subject)
{
    DWORD kept = GetLastError();
    char line[kTraceChars];
    formatText(line, sizeof line, "PkgMgr setup: %s: %s", what, subject ? subject : "");
    emit(line);
    SetLastError(kept);
}
