#include "platform/trace.h"

#include <windows.h>

#include "platform/text.h"

namespace {

// A cut line still says what failed: the subject comes last.
const size_t kTraceChars = 2 * kPathChars + 128;

const char kPrefix[] = "PkgMgr setup: ";

void emit(char* line)
{
    if (traceSink) {
        traceSink(line + sizeof kPrefix - 1);
        return;
    }
    if (traceCopy)
        traceCopy(line + sizeof kPrefix - 1);
    appendText(line, kTraceChars, "\n");
    OutputDebugStringA(line);
}

}  // namespace

void (*traceSink)(const char* line);
void (*traceCopy)(const char* line);

void traceCall(const char* call, unsigned long error, const char* subject)
{
    DWORD kept = GetLastError();
    char line[kTraceChars];
    formatText(line, sizeof line, "%s%s failed, error %u (0x%08X): %s", kPrefix, call,
               unsigned(error), unsigned(error), subject ? subject : "");
    emit(line);
    SetLastError(kept);
}

void traceFailedCall(const char* function, unsigned long error, const char* subject)
{
    if (error == ~0ul)
        error = GetLastError();
    for (const char* c = function; *c; ++c) {
        if (*c == '.' || *c == '>')
            function = c + 1;
    }
    traceCall(function, error, subject);
}

void traceCause(const char* what, const char* subject)
{
    DWORD kept = GetLastError();
    char line[kTraceChars];
    formatText(line, sizeof line, "%s%s: %s", kPrefix, what, subject ? subject : "");
    emit(line);
    SetLastError(kept);
}
