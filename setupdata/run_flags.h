// Bits of the run-flag word.
#pragma once
#include <stdint.h>

enum RunFlag : uint32_t {
    kRunInstall = 0x1,        // clear: uninstall (/U)
    kRunSilent = 0x2,         // /S
    kRunWaitAndOpen = 0x4,    // /O
    kRunNoShortcuts = 0x100,  // /W
    kRunNoReport = 0x200,     // /F
    kRunLog = 0x400,          // /L: a log file in the temporary folder
    kRunRestartCode = 0x800,  // /R: exit code 3010 when the run waits for the restart
    kRunHelp = 0x1000,        // /? or /H: the switches are shown and nothing is done
    kRunFreshInstall = 0x10000,  // set by the options step in its own copy only
};
