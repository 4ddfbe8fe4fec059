// Reading the one-letter options of the command line into the run flags.
#pragma once
#include <stdint.h>

// Updates `runFlags` from the slash options in `commandLine` (the text after the
// program name). Only the character right after each '/' counts. Always returns 1.
int parseCommandLine(const char* commandLine, uint32_t* runFlags);
