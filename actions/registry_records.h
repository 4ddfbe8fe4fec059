// The product's registry records and the system's uninstall entry.
#pragma once
#include <stdint.h>

// Bit 0x1 of `runFlags` set writes the record, clear removes it. Nonzero on success.
int applyProgramFolder(const char* programFolder, uint32_t runFlags);
int applyProductIdentity(const char* productName, const char* productVersion, uint32_t runFlags);
int applyMenuFolderValue(const char* menuFolder, uint32_t runFlags);
int applyInternetSettings(int32_t internetFunction, const char* downloadFolder, uint32_t runFlags);
int applyUninstallEntry(const char* uninstallerName, const char* productName,
                        const char* productVersion, uint32_t runFlags);
