// Search folders, the install catalog and the browser toolbar button.
#pragma once
#include <windows.h>
#include <stdint.h>

// Removes every value and subkey below `parent`\`name` (or `parent` itself when
// `name` is null) and, when a name was given, that key too. Always returns 1.
int deleteKeyTree(HKEY parent, const char* name);
// Install: registers one search folder (a folder above earlier ones replaces them).
// Uninstall: removes every search folder.
int applySearchFolder(const char* folder, uint32_t runFlags);

// The registry key that records search folder `folder` into `out` (260); 0 when its
// path does not fit, and the folder cannot be registered.
int searchFolderKey(const char* folder, char* out);
// Brings the per-item install records up to date. Always returns 1.
int migrateInstallRecords();
// 1 when the browser toolbar button is registered.
int browserButtonExists();
// wanted nonzero: registers the browser toolbar button; 0: removes it.
int applyBrowserButton(const char* programPath, const char* iconText, const char* buttonText,
                       int wanted);
