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

struct SetupContext;

// The final report of a run, or the restart prompt; nothing when silent or with /F.
void showFinalReport(const SetupContext& run);

// The key under HKEY_CURRENT_USER that holds the result value "Setup".
extern const char kResultKeyPath[];
