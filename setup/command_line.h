// Reading the one-letter options of the command line into the run flags.
#pragma once
#include <stdint.h>

// Updates `runFlags` from the slash options in `commandLine` (the text after the
// program name). Only the character right after each '/' counts: F, L, O, R, S, U, W
// and, for the help, H and '?' (either case). Always returns 1.
int parseCommandLine(const char* commandLine, uint32_t* runFlags);

// The path of the last `/L=path` option into `out` (`capacity` bytes): the option text
// after "/L=" up to the next '/' or the end of the line, without the blanks around it
// and the double quotes around it. Returns 1 for such a path that fits; 0, with `out`
// empty, when no /L option carries one (`/L` alone, `/LOG`), or it does not fit.
int readLogPathOption(const char* commandLine, char* out, unsigned capacity);
