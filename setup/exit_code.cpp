#include "setup/exit_code.h"

#include "resources/resource.h"
#include "setup/context.h"
#include "setupdata/run_flags.h"

int runExitCode(const SetupContext& run)
{
    if ((run.runFlags & kRunRestartCode) && run.succeeded && run.restartNeeded)
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    return run.resultCode;
}

const char* resultMeaning(const SetupContext& run)
{
    // Each result code with its meaning for an installation and, where it differs, a removal.
    static const struct {
        int32_t code;
        const char* install;
        const char* removal;
    } kMeanings[] = {
        {0, "installed", "removed"},
        {IDS_PHASE_INITIALIZATION, "initialization failed: setup data missing or unusable; nothing was changed",
         "initialization failed: no usable records of an installation to remove"},
        {IDS_PHASE_COPY_FILES, "copying files failed", nullptr},
        {IDS_PHASE_REMOVE_FILES, "removing files failed", nullptr},
        {IDS_PHASE_SHORTCUTS, "shortcuts failed", nullptr},
        {IDS_PHASE_REGISTRY, "registry records failed", nullptr},
        {IDS_NEED_SERVICE_PACK, "Windows NT 4.0 needs Service Pack 4 or later; nothing was changed", nullptr},
        {IDS_UNSUPPORTED_SYSTEM, "this Windows is not supported; nothing was changed", nullptr},
    };
    bool install = (run.runFlags & kRunInstall) != 0;
    if (run.resultCode == 0 && run.restartNeeded)
        return install ? "installed; files in use are replaced at the next restart"
                       : "removed; files in use are deleted at the next restart";
    for (const auto& known : kMeanings) {
        if (known.code == run.resultCode)
            return install || !known.removal ? known.install : known.removal;
    }
    return "unknown result";
}
