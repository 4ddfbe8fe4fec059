// Why a run failed, for administrators: one line per cause through the debugger
// output (OutputDebugStringA), which a debug-output viewer shows and Wine prints with
// WINEDEBUG=+debugstr, and to the log file of a run started with /L. Nothing is shown
// to the user.
#pragma once

// "PkgMgr setup: CALL failed, error N (0xN): SUBJECT" for a system call that failed
// with `error` (a Win32 error code or an HRESULT) on `subject` (a path, key or value).
void traceCall(const char* call, unsigned long error, const char* subject);

// "PkgMgr setup: WHAT: SUBJECT" for a cause that is no failed call: a missing key,
// a refused name.
void traceCause(const char* what, const char* subject);

// A failed system call, labelled by the function that the call names so that the label
// cannot drift from it: TRACED(MoveFileExA, (from, to, 0), to) calls MoveFileExA(from,
// to, 0) and traces "MoveFileExA" (an object or a pointer in front is left out of the
// label). TRACED: a function that returns 0 on failure (FALSE, a null pointer), traced
// with the last error. TRACED_STATUS: one that returns an error code (the registry, the
// security functions), traced unless ERROR_SUCCESS. Each gives the function's result.
#define TRACED(function, arguments, subject) tracedResult(function arguments, #function, (subject))
#define TRACED_STATUS(function, arguments, subject) tracedStatus(long(function arguments), #function, (subject))

// traceCall under `function` without what stands before its last '.' or "->", with
// `error` or, for (unsigned long)-1, the last error.
void traceFailedCall(const char* function, unsigned long error, const char* subject);

template <typename Result>
Result tracedResult(Result result, const char* function, const char* subject)
{
    if (!result)
        traceFailedCall(function, ~0ul, subject);
    return result;
}

inline long tracedStatus(long status, const char* function, const char* subject)
{
    if (status != 0)
        traceFailedCall(function, static_cast<unsigned long>(status), subject);
    return status;
}

// Where the lines go: the debugger output unless a program (the release-folder
// checker) takes them itself. A line comes without the "PkgMgr setup: " prefix and
// without a line end.
extern void (*traceSink)(const char* line);

// A second reader of the lines that go to the debugger output (the run's log file
// with /L), in the same form as traceSink gets them. Not called when traceSink is set.
extern void (*traceCopy)(const char* line);
