#include "setup/exit_code.h"

#include "setup/context.h"
#include "setupdata/run_flags.h"

int runExitCode(const SetupContext& run)
{
    if ((run.runFlags & kRunRestartCode) && run.succeeded && run.restartNeeded)
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    return run.resultCode;
}
