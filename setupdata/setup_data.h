// Where the setup data lies and what the run learned from it; process-wide.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "platform/text.h"

struct XmlDocument;

extern HINSTANCE moduleInstance;  // every string, icon and dialog is loaded from here
extern HMODULE unicowsModule;     // the Unicode layer, loaded on Windows 9x only
extern char settingsFilePath[kPathChars];
extern char releaseFilePath[kPathChars];
extern XmlDocument* descriptorTree;
extern int descriptorMode;  // the setup data came from a descriptor; outlives the tree

// Records the module and the setup language and, when installing, finds and reads
// the setup data beside the program. Returns 1 when the run may go on.
int locateSetupData(HINSTANCE instance, uint32_t runFlags);

// Releases the descriptor tree and the Unicode layer once nothing reads the descriptor.
void releaseSetupData();
