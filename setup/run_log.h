// The log of a run started with /L: a file in the temporary folder of the account
// that runs setup.exe, or the file that /L=path names, appended to by every such run. It holds a header, every line
// of the trace and the run's result; writing it never changes the run.
#pragma once
#include <stddef.h>

struct SetupContext;

// The log's name in the temporary folder, and the name the previous log takes when
// the log has grown past kRunLogTurnBytes.
extern const char kRunLogName[];
extern const char kOldRunLogName[];

enum : size_t {
    kRunLogTurnBytes = 512 * 1024,  // a longer log becomes the previous one at a run's start
    kRunLogRunBytes = 128 * 1024,   // what one run writes at most, its last line aside
};

// Opens the log and writes the header: date and time, setup.exe's version and path,
// `commandLine`, the Windows version and languages, whether the process is elevated,
// installation or removal. From here on every trace line goes to the log too.
void openRunLog(const SetupContext& run, const char* commandLine);

// Writes the last line and closes the log. `notRunCause` names why the run ended
// before it stored a result (exit code 0, "Setup" unchanged); null, the result of
// `run` is written with its meaning. Nothing when no log is open.
void closeRunLog(const SetupContext& run, const char* notRunCause);
