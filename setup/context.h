// The records of one setup run.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <stdint.h>

#include "platform/text.h"

// Filled by the options step; the options dialog edits it in place and the
// installation actions read it.
struct InstallSettings {
    uint32_t runFlags;  // the options step's copy of the run flags, plus kRunFreshInstall
    int32_t internetFunction;
    int32_t desktopIcon;
    int32_t startMenuIcon;
    int32_t browserButton;
    char productName[kPathChars];
    char productVersion[kPathChars];
    char sourceFolder[kPathChars];
    char menuShortcut[kPathChars];
    char menuFolder[kPathChars];
    char programFolder[kPathChars];
    char programPath[kPathChars];
    char previousName[kPathChars];
    char previousMenuShortcut[kPathChars];
};

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
    char searchList[kPathChars];
    char downloadList[kPathChars];
    OSVERSIONINFOA versionInfo;
    InstallSettings settings;
    char previousVersion[kPathChars];
};
