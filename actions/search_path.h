// Search folders, the install catalog and the browser toolbar button.
#pragma once
#include <stdint.h>

// Install: registers one search folder. Uninstall: removes every search folder.
int applySearchFolder(const char* folder, uint32_t runFlags);
// Brings the per-item install records up to date.
int migrateInstallRecords();
// wanted nonzero: registers the browser toolbar button; 0: removes it.
int applyBrowserButton(const char* programPath, const char* iconText, const char* buttonText,
                       int wanted);
