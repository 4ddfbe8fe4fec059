// The install options step: gathers the settings, shows the options dialog or
// the removal question.
#pragma once
#include <stdint.h>

struct InstallSettings;

// Fills `settings` and `previousVersion`; sets `*cancelled` when the user declined.
// Returns 1 when the run may go on, 0 when the setup data or records are insufficient.
int runOptionsStep(int32_t* cancelled, InstallSettings* settings, char* previousVersion,
                   uint32_t runFlags);
