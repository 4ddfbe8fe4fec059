#include "setupdata/setup_data.h"

#include "setup/run_flags.h"

HINSTANCE moduleInstance;
HMODULE unicowsModule;
char settingsFilePath[kPathChars];
char releaseFilePath[kPathChars];
XmlDocument* descriptorTree;
int descriptorMode;

int locateSetupData(HINSTANCE instance, uint32_t runFlags)
{
    moduleInstance = instance;
    if (!(runFlags & kRunInstall))
        return 1;  // a removal works from the registry records of the installed copy
    // Finding and reading the setup files is not built yet: an installation stops
    // here with the "initialization" result.
    return 0;
}

void releaseSetupData()
{
    // No descriptor is loaded yet; the Unicode layer is the only thing to give back.
    if (unicowsModule) {
        FreeLibrary(unicowsModule);
        unicowsModule = nullptr;
    }
}
