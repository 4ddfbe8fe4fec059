// Reading the command line (the text after the program name) into the run flags and
// the log's path, in one pass, so that the options and the log's path cannot disagree.
#pragma once
#include <stdint.h>

// Updates `runFlags` from the slash options in `commandLine`. Only the character right
// after each '/' counts: F, L, O, R, S, U, W and, for the help, H and '?' (either case).
// The value of a `/L=` option is data, never options: when the option stands inside
// double quotes ("/L=C:\a b.log") or its value opens with one (/L="C:\a b.log"), up to
// the closing quote (or the end of the line); otherwise up to the next blank that is
// followed by '/' (blanks between them allowed), or the end. Always returns 1.
int parseCommandLine(const char* commandLine, uint32_t* runFlags);

// The value of the last `/L=` option into `out` (`capacity` bytes), without the blanks
// and the double quotes around it, each '/' in it given as '\'. Returns 1 for such a
// path that fits; 0, with `out` empty, when no /L option carries one (`/L` alone,
// `/LOG`), or it does not fit.
int readLogPathOption(const char* commandLine, char* out, unsigned capacity);
