// The settings of one installation or removal, as the options step fills them.
#pragma once
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
