// The size of an installation as the system's list of programs shows it.
#pragma once
#include <stdint.h>

// Kilobytes (1024 bytes, rounded up) of the installed files that are there: the
// uninstaller in the Windows folder and the application's files in `programFolder`.
// Files still waiting for a restart count with what is in their place now.
uint32_t installedKilobytes(const char* programFolder);
