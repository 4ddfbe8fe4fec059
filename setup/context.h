// The records of one setup run.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <stdint.h>

#include "platform/text.h"
#include "setupdata/install_settings.h"

// All state of one run, owned by the entry routine.
struct SetupContext {
    uint32_t runFlags;
    int32_t succeeded;
    int32_t resultCode;  // string id of the check or phase now running; 0 when all are done
    int32_t restartNeeded;
    char uninstallerName[kPathChars];
    int32_t cancelled;
    char resultText[12];
    SHELLEXECUTEINFOA launchInfo;
    char downloadFolder[kPathChars];
    OSVERSIONINFOA versionInfo;
    InstallSettings settings;
    char previousVersion[kPathChars];
};
