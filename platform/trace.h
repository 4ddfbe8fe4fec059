// Why a run failed, for administrators: one line per cause through the debugger
// output (OutputDebugStringA), which a debug-output viewer shows and Wine prints with
// WINEDEBUG=+debugstr, and to the log file of a run started with /L. Nothing is shown
// to the user.
#pragma once
#include <windows.h>

// "PkgMgr setup: CALL failed, error N (0xN): SUBJECT" for a system call that failed
// with `error` (a Win32 error code or an HRESULT) on `subject` (a path, key or value).
void traceCall(const char* call, unsigned long error, const char* subject);

// "PkgMgr setup: WHAT: SUBJECT" for a cause that is no failed call: a missing key,
// a refused name.
void traceCause(const char* what, const char* subject);

// A failed system call, labelled by the call's own text so that the label cannot drift
// from it: the function's name without an object in front ("platform.MoveFileExA(...)"
// is "MoveFileExA"). TRACED: a call that returns 0 on failure (FALSE, a null pointer),
// traced with the last error. TRACED_STATUS: one that returns an error code (the
// registry, the security functions), traced unless ERROR_SUCCESS. Each gives the result.
#define TRACED(call, subject) tracedResult((call), #call, (subject))
#define TRACED_STATUS(call, subject) tracedStatus(long(call), #call, (subject))

void traceFailedCall(const char* callText, unsigned long error, const char* subject);

template <typename Result>
Result tracedResult(Result result, const char* callText, const char* subject)
{
    if (!result)
        traceFailedCall(callText, GetLastError(), subject);
    return result;
}

inline long tracedStatus(long status, const char* callText, const char* subject)
{
    if (status != 0)
        traceFailedCall(callText, static_cast<unsigned long>(status), subject);
    return status;
}

// Where the lines go: the debugger output unless a program (the release-folder
// checker) takes them itself. A line comes without the "PkgMgr setup: " prefix and
// without a line end.
extern void (*traceSink)(const char* line);

// A second reader of the lines that go to the debugger output (the run's log file
// with /L), in the same form as traceSink gets them. Not called when traceSink is set.
extern void (*traceCopy)(const char* line);
