// The exit code that a run ends with, and what its result means.
#pragma once

struct SetupContext;

// The exit code of a run that stored its result: the result code, or with /R
// ERROR_SUCCESS_REBOOT_REQUIRED (3010) for a run that succeeded and left its files to
// the next restart (the runs that show the restart prompt). The uninstaller's own
// deletion at the restart does not count: nothing waits for it.
int runExitCode(const SetupContext& run);

// What the result of `run` means, in the words of the log's last line and of the
// trace of a failed run ("copying files failed", "removed", ...).
const char* resultMeaning(const SetupContext& run);
