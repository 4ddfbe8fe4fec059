// Where the setup data lies and what the run learned from it; process-wide.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "platform/text.h"
#include "xml/document.h"
#include "xml/item_data.h"

extern HINSTANCE moduleInstance;  // every string, icon and dialog is loaded from here
extern SystemProfile systemProfile;  // only the two language fields are filled
extern HMODULE unicowsModule;     // the Unicode layer, loaded on Windows 9x only
extern char settingsFilePath[kPathChars];  // "ZemSetup.dat"
extern char releaseFilePath[kPathChars];   // "PkgMgr.zem", or "QUVOZEM.xml" in descriptor mode
extern XmlDocument* descriptorTree;
extern int descriptorMode;  // the setup data came from a descriptor; outlives the tree
extern size_t descriptorFailedAt;  // where a descriptor that did not load failed (byte offset)

// Records the module and the setup language and, when installing, finds and reads
// the setup data beside the program. Returns 1 when the run may go on.
int locateSetupData(HINSTANCE instance, uint32_t runFlags);

// Whether the release file at `path` names a release ([ZEM] XRELEASE is not empty):
// only then is it used, and otherwise the descriptor is read.
int isUsableReleaseFile(const char* path);

// Releases the descriptor tree and the Unicode layer once nothing reads the descriptor.
void releaseSetupData();

// String `id` of the module's tables into `out` (`capacity` characters), in the
// language that the platform picks, or in English when that language's table lacks it;
// empty when the module lacks it.
void loadSetupText(unsigned id, char* out, int capacity);

// The folder of the running program, without a trailing backslash (260 characters).
int readSetupFolder(char* out);

