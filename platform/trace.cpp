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

void traceFailedCall(const char* callText, unsigned long error, const char* subject)
{
    auto inName = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    };
    // The name before the first parenthesis that follows one, after any object in front.
    size_t end = 0;
    while (callText[end] && (callText[end] != '(' || end == 0 || !inName(callText[end - 1])))
        ++end;
    size_t start = end;
    while (start > 0 && inName(callText[start - 1]))
        --start;
    char name[64];
    // Cut on purpose where the name ends; a longer name is cut at the buffer's end.
    copyText(name, end - start + 1 < sizeof name ? end - start + 1 : sizeof name, callText + start);
    traceCall(name, error, subject);
}

void traceCause(const char* what, const char* subject)
{
    DWORD kept = GetLastError();
    char line[kTraceChars];
    formatText(line, sizeof line, "%s%s: %s", kPrefix, what, subject ? subject : "");
    emit(line);
    SetLastError(kept);
}
