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

// Where the lines go: the debugger output unless a program (the release-folder
// checker) takes them itself. A line comes without the "PkgMgr setup: " prefix and
// without a line end.
extern void (*traceSink)(const char* line);

// A second reader of the lines that go to the debugger output (the run's log file
// with /L), in the same form as traceSink gets them. Not called when traceSink is set.
extern void (*traceCopy)(const char* line);
