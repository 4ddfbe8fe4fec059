// The setup run: the entry routine and the order of checks and phases.
#pragma once
#include <windows.h>
#include <stdint.h>

struct InstallSettings;

// The two steps that depend on setup data lying beside the program. Tests point
// them at stand-ins to drive the run to the checks and phases behind them.
struct SetupStepSeam {
    int (*locateSetupData)(HINSTANCE instance, uint32_t runFlags);
    int (*runOptionsStep)(int32_t* cancelled, InstallSettings* settings, char* previousVersion,
                          uint32_t runFlags);
};
extern SetupStepSeam setupSteps;

// Whether the application runs: through its main window's title for versions
// before 1.03.0000 (and a fresh installation), through its mutex from then on, also in
// the other sessions (applicationMutexHeld). With /O the run waits for the mutex.
// Returns the restart-needed flag.
int detectRunningInstance(const char* productName, const char* previousVersion, uint32_t runFlags);

struct SetupContext;

// Step I3 of an installation without /W: removes the shortcuts of an earlier product
// name, then writes or removes the desktop, Start-menu and menu-folder shortcuts.
// Returns 0 when one of the three could not be written.
int applyInstallShortcuts(const SetupContext& run);

// Step I6 of an installation: registers the search folders of [INIT] DEFAULTSEARCH
// and, when none of them is a usable folder, creates and registers a download folder
// from [INIT] DOWNLOAD. Returns 0 when a search folder could not be registered.
int registerSearchFolders(SetupContext& run);

// The final report of a run, or the restart prompt; nothing when silent or with /F.
void showFinalReport(const SetupContext& run);

// The key under HKEY_CURRENT_USER that holds the result value "Setup".
extern const char kResultKeyPath[];
