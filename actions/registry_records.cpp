#include "actions/registry_records.h"

#include <windows.h>

#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "setupdata/run_flags.h"

namespace {

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

int productKeyPath(char* out)
{
    return copyText(out, kPathChars, kProductKeyPath);
}

int uninstallKeyPath(char* out)
{
    return copyText(out, kPathChars, kUninstallKeyPath);
}

int openKey(const char* path, REGSAM access, UniqueKey& key)
{
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key.put()) == ERROR_SUCCESS;
}

const char* valueName(const char* name)
{
    return name && name[0] ? name : "(default)";
}

// Opening the product key to change it fails the step; to read it, it only says
// that there is no earlier installation.
int openProductKey(REGSAM access, UniqueKey& key)
{
    char path[kPathChars];
    if (!productKeyPath(path))
        return 0;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key.put());
    if (status != ERROR_SUCCESS && access != KEY_READ)
        traceCall("RegOpenKeyExA", DWORD(status), path);
    return status == ERROR_SUCCESS;
}

int createKey(const char* path, UniqueKey& key)
{
    DWORD disposition = 0;
    return TRACED_STATUS(platform.RegCreateKeyExA, (HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                    KEY_ALL_ACCESS, nullptr, key.put(), &disposition),
                         path) == ERROR_SUCCESS;
}

// Writes a string value with its terminating null counted.
int writeText(HKEY key, const char* name, const char* text)
{
    DWORD size = DWORD(boundedLength(text, kPathChars) + 1);
    if (size > kPathChars) {
        traceCause("the text does not fit a value", valueName(name));
        return 0;
    }
    return TRACED_STATUS(platform.RegSetValueExA, (key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size),
                         valueName(name)) == ERROR_SUCCESS;
}

int writeNumber(HKEY key, const char* name, DWORD number)
{
    return TRACED_STATUS(platform.RegSetValueExA,
                         (key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
                         name) == ERROR_SUCCESS;
}

// A value that is not there counts as removed: a removal cut off earlier took it.
int deleteValue(HKEY key, const char* name)
{
    LONG status = platform.RegDeleteValueA(key, name);
    if (status == ERROR_FILE_NOT_FOUND)
        return 1;
    if (status != ERROR_SUCCESS)
        traceCall("RegDeleteValueA", DWORD(status), valueName(name));
    return status == ERROR_SUCCESS;
}

// Reads a value of any type as text into `out` (`capacity` bytes). A value that is
// absent or does not fit leaves `out` as it was; a value stored without its
// terminating null gets one when there is room.
int readText(HKEY key, const char* name, char* out, DWORD capacity)
{
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size > capacity)
        return 0;
    char value[kPathChars];
    BYTE* target = capacity <= sizeof value ? reinterpret_cast<BYTE*>(value)
                                            : reinterpret_cast<BYTE*>(out);
    size = capacity;
    if (RegQueryValueExA(key, name, nullptr, nullptr, target, &size) != ERROR_SUCCESS)
        return 0;
    if (size == 0 || target[size - 1] != '\0') {
        if (size >= capacity)
            return 0;
        target[size] = '\0';
        ++size;
    }
    if (target != reinterpret_cast<BYTE*>(out))
        CopyMemory(out, value, size);
    return 1;
}

int isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

// An eight-digit hexadecimal version such as 01030000 becomes "1.03.0000". Texts of
// another length, and eight characters that are not all hexadecimal digits, stay as
// they are: such a text is no packed version number.
void normaliseVersion(char* version)
{
    if (boundedLength(version, kPathChars) != 8)
        return;
    unsigned long packed = 0;
    for (int i = 0; i < 8; ++i) {
        if (!isHexDigit(version[i]))
            return;
        packed = (packed << 4) | unsigned(hexValue(version[i]));
    }
    formatText(version, kPathChars, "%X.%02X.%04X", unsigned(packed >> 24),
               unsigned((packed >> 16) & 0xFF), unsigned(packed & 0xFFFF));
}

// The number of at most nine digits that begins `text` into `number`; returns the text
// after it, or null (leaving `number` as it was) when there is none.
const char* leadingNumber(const char* text, DWORD* number)
{
    DWORD value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (++digits > 9)
            return nullptr;
        value = value * 10 + DWORD(*text - '0');
    }
    if (digits == 0)
        return nullptr;
    *number = value;
    return text;
}

// The numbers that begin the first two parts of a version such as "1.04.0000" (1 and 4);
// the minor number is 0 when the second part begins with none. 0 when the version does
// not begin with a number.
int versionNumbers(const char* version, DWORD* major, DWORD* minor)
{
    const char* rest = leadingNumber(version, major);
    if (rest == nullptr)
        return 0;
    *minor = 0;
    if (*rest == '.')
        leadingNumber(rest + 1, minor);
    return 1;
}

}  // namespace

extern const char kProductKeyPath[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
extern const char kPublisher[] = "QUVO";
extern const char kUninstallKeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltranoSoftwareInstaller";
extern const char* const kUninstallEntryValues[kEntryValueCount] = {
    "DisplayName", "UninstallString", "DisplayIcon", "DisplayVersion", "Publisher", "InstallLocation", "EstimatedSize",
    "QuietUninstallString", "NoModify", "NoRepair", "InstallDate", "VersionMajor", "VersionMinor"};

int readCurrentVersionValue(const char* name, char* out, uint32_t size)
{
    UniqueKey key;
    return openKey(kCurrentVersionKey, KEY_READ, key) && readText(key.get(), name, out, size);
}

int readProgramFolder(char* out)
{
    UniqueKey key;
    return openProductKey(KEY_READ, key) && readText(key.get(), "ProgDir", out, kPathChars);
}

int readProductIdentity(char* name, char* version)
{
    UniqueKey key;
    if (!openProductKey(KEY_READ, key) || !readText(key.get(), "Name", name, kPathChars) ||
        !readText(key.get(), "Version", version, kPathChars))
        return 0;
    normaliseVersion(version);
    return 1;
}

int readMenuFolder(char* out)
{
    UniqueKey key;
    return openProductKey(KEY_READ, key) && readText(key.get(), "MenuDir", out, kPathChars);
}

int readDownloadFolder(char* out)
{
    UniqueKey key;
    return openProductKey(KEY_READ, key) && readText(key.get(), "DownloadDir", out, kPathChars);
}

int replaceDownloadFolder(const char* downloadFolder)
{
    UniqueKey key;
    if (!openProductKey(KEY_ALL_ACCESS, key))
        return 0;
    return downloadFolder[0] ? writeText(key.get(), "DownloadDir", downloadFolder)
                             : deleteValue(key.get(), "DownloadDir");
}

int readInternetFunction(int32_t* value)
{
    UniqueKey key;
    if (!openProductKey(KEY_READ, key))
        return 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegQueryValueExA(key.get(), "InternetFunction", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS)
        return 0;
    *value = int32_t(number);
    return 1;
}

int removalRecordsLeft()
{
    UniqueKey entry;
    if (openKey(kUninstallKeyPath, KEY_READ, entry))
        return 1;
    UniqueKey key;
    if (!openProductKey(KEY_READ, key))
        return 0;
    static const char* const kRemoved[] = {"", "ProgDir", "Name", "Version", "MenuDir", "DownloadDir", "ProxyServer"};
    for (const char* name : kRemoved) {
        // Windows 9x gives every key a default value, empty until one is written.
        DWORD size = 0;
        if (RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
            (name[0] || size > 1))
            return 1;
    }
    UniqueKey searchPath;
    return RegOpenKeyExA(key.get(), "SearchPath", 0, KEY_READ, searchPath.put()) == ERROR_SUCCESS;
}

int applyProgramFolder(const char* programFolder, uint32_t runFlags)
{
    char path[kPathChars];
    UniqueKey key;
    if (!(runFlags & kRunInstall)) {
        return openProductKey(KEY_ALL_ACCESS, key) && deleteValue(key.get(), nullptr) &&
               deleteValue(key.get(), "ProgDir");
    }
    char programPath[kPathChars];
    return productKeyPath(path) && createKey(path, key) &&
           writeText(key.get(), "ProgDir", programFolder) &&
           formatText(programPath, sizeof programPath, "%s\\PkgMgr.exe", programFolder) &&
           writeText(key.get(), nullptr, programPath);
}

int applyProductIdentity(const char* productName, const char* productVersion, uint32_t runFlags)
{
    UniqueKey key;
    if (!openProductKey(KEY_ALL_ACCESS, key))
        return 0;
    if (!(runFlags & kRunInstall))
        return deleteValue(key.get(), "Name") && deleteValue(key.get(), "Version");
    return writeText(key.get(), "Name", productName) &&
           writeText(key.get(), "Version", productVersion);
}

int applyMenuFolderValue(const char* menuFolder, uint32_t runFlags)
{
    UniqueKey key;
    if (!openProductKey(KEY_ALL_ACCESS, key))
        return 0;
    if (!(runFlags & kRunInstall))
        return deleteValue(key.get(), "MenuDir");
    return writeText(key.get(), "MenuDir", menuFolder);
}

int applyInternetSettings(int32_t internetFunction, const char* downloadFolder, uint32_t runFlags)
{
    UniqueKey key;
    if (!openProductKey(KEY_ALL_ACCESS, key))
        return 0;
    if (!(runFlags & kRunInstall)) {
        // "InternetFunction" stays: a later installation honours a stored 0.
        int removed = deleteValue(key.get(), "DownloadDir");
        deleteValue(key.get(), "ProxyServer");
        return removed;
    }
    // A download folder chosen earlier, by an installation or by the application, is kept.
    // Without a folder that may be trusted, none is recorded.
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), "DownloadDir", nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS &&
        downloadFolder[0] && !writeText(key.get(), "DownloadDir", downloadFolder))
        return 0;
    return writeNumber(key.get(), "InternetFunction", DWORD(internetFunction));
}

int applyUninstallEntry(const char* uninstallerName, const char* productName,
                        const char* productVersion, const char* programFolder,
                        uint32_t installedKilobytes, uint32_t runFlags)
{
    char path[kPathChars];
    if (!uninstallKeyPath(path))
        return 0;
    if (!(runFlags & kRunInstall)) {
        LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
        if (status == ERROR_FILE_NOT_FOUND)
            return 1;  // removed already
        if (status != ERROR_SUCCESS)
            traceCall("RegDeleteKeyA", DWORD(status), path);
        return status == ERROR_SUCCESS;
    }

    UniqueKey key;
    if (!createKey(path, key))
        return 0;
    const char* const* name = kUninstallEntryValues;
    // With /W the entry stays out of the system's list unless an earlier name is there.
    if (!(runFlags & kRunNoShortcuts) && !writeText(key.get(), name[kEntryDisplayName], productName))
        return 0;
    char command[kPathChars];
    char windows[kPathChars];
    char text[kPathChars];
    // The Windows folder always fits a path; only a failure is traced.
    UINT windowsLength = TRACED(GetWindowsDirectoryA, (windows, sizeof windows), "DisplayIcon");
    if (windowsLength == 0 || windowsLength >= sizeof windows)
        windows[0] = '\0';
    if (!formatText(command, sizeof command, "%s /U", uninstallerName) ||
        !writeText(key.get(), name[kEntryUninstallString], command) || !windows[0] ||
        !formatText(text, sizeof text, "%s\\%s,0", windows, uninstallerName) ||
        !writeText(key.get(), name[kEntryDisplayIcon], text) ||
        !writeText(key.get(), name[kEntryDisplayVersion], productVersion))
        return 0;
    // What Programs and Features, package managers and deployment tools read besides.
    // The quiet command is quoted: the Windows folder may hold blanks.
    if (!writeText(key.get(), name[kEntryPublisher], kPublisher) ||
        !writeText(key.get(), name[kEntryInstallLocation], programFolder) ||
        !writeNumber(key.get(), name[kEntryEstimatedSize], installedKilobytes) ||
        !formatText(text, sizeof text, "\"%s\\%s\" /S /U", windows, uninstallerName) ||
        !writeText(key.get(), name[kEntryQuietUninstallString], text) ||
        !writeNumber(key.get(), name[kEntryNoModify], 1) || !writeNumber(key.get(), name[kEntryNoRepair], 1))
        return 0;
    // The day of this installation, also of an update, and the version's numbers, which
    // the list of programs shows; a version without numbers leaves none of an earlier one.
    SYSTEMTIME today;
    GetLocalTime(&today);
    DWORD major = 0;
    DWORD minor = 0;
    int numbered = versionNumbers(productVersion, &major, &minor);
    if (!formatText(text, sizeof text, "%04u%02u%02u", unsigned(today.wYear), unsigned(today.wMonth),
                    unsigned(today.wDay)) ||
        !writeText(key.get(), name[kEntryInstallDate], text) ||
        !(numbered ? writeNumber(key.get(), name[kEntryVersionMajor], major) &&
                         writeNumber(key.get(), name[kEntryVersionMinor], minor)
                   : deleteValue(key.get(), name[kEntryVersionMajor]) &&
                         deleteValue(key.get(), name[kEntryVersionMinor])))
        return 0;
    // An entry hidden from the list by this value becomes visible.
    RegDeleteValueA(key.get(), "SystemComponent");
    return 1;
}
