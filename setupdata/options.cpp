#include "setupdata/options.h"

#include "setup/context.h"

int runOptionsStep(int32_t* cancelled, InstallSettings* settings, char* previousVersion,
                   uint32_t runFlags)
{
    (void)settings;
    (void)previousVersion;
    (void)runFlags;
    *cancelled = 0;
    // The options dialog and the readers behind it are not built yet: every run
    // that gets here ends with the "initialization" result.
    return 0;
}
