// The product's registry records and the system's uninstall entry.
#pragma once
#include <stdint.h>

// The product's key and its entry in the system's list of programs, under
// HKEY_LOCAL_MACHINE.
extern const char kProductKeyPath[];
extern const char kUninstallKeyPath[];

// Readers of an earlier installation's records. Nonzero when the value was read.
// One value of HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion", at most `size` bytes.
int readCurrentVersionValue(const char* name, char* out, uint32_t size);
int readProgramFolder(char* out);                   // "ProgDir", 260 characters
int readProductIdentity(char* name, char* version);  // "Name" and normalised "Version", 260 each
int readMenuFolder(char* out);                      // "MenuDir", 260 characters
int readInternetFunction(int32_t* value);           // "InternetFunction"
int readDownloadFolder(char* out);                  // "DownloadDir", 260 characters
// Replaces a recorded "DownloadDir" with `downloadFolder`, or removes it for "".
int replaceDownloadFolder(const char* downloadFolder);
// 1 when a record that a removal deletes is still there: a value of the product key
// other than "InternetFunction" (which stays), its search folders, or the uninstall
// entry. After a complete removal there is none.
int removalRecordsLeft();

// Bit 0x1 of `runFlags` set writes the record, clear removes it. Nonzero on success.
int applyProgramFolder(const char* programFolder, uint32_t runFlags);
int applyProductIdentity(const char* productName, const char* productVersion, uint32_t runFlags);
int applyMenuFolderValue(const char* menuFolder, uint32_t runFlags);
int applyInternetSettings(int32_t internetFunction, const char* downloadFolder, uint32_t runFlags);
// The uninstall entry: the name, the uninstall command, the icon and the version, then
// the publisher, the program folder, the size in kilobytes, the quiet uninstall command
// (the uninstaller's full path, quoted, with /S /U), that it offers no change and no
// repair, the day of the installation (YYYYMMDD) and the version's major and minor
// numbers. A removal deletes the entry with all its values.
int applyUninstallEntry(const char* uninstallerName, const char* productName,
                        const char* productVersion, const char* programFolder,
                        uint32_t installedKilobytes, uint32_t runFlags);

// The vendor as the list of programs shows it.
extern const char kPublisher[];

// The values of the uninstall entry, in the order an installation writes them, and
// their names: the entry's writer and the release-folder checker take them from here.
enum UninstallEntryValue {
    kEntryDisplayName, kEntryUninstallString, kEntryDisplayIcon, kEntryDisplayVersion, kEntryPublisher,
    kEntryInstallLocation, kEntryEstimatedSize, kEntryQuietUninstallString, kEntryNoModify, kEntryNoRepair,
    kEntryInstallDate, kEntryVersionMajor, kEntryVersionMinor, kEntryValueCount
};
extern const char* const kUninstallEntryValues[kEntryValueCount];
