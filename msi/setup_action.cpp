// The MSI package's custom actions: each runs the release folder's setup.exe silently,
// waits for it and turns its result into what the Windows Installer reports: success,
// a restart to come (3010 at the end of msiexec), or a failure (1603) with setup.exe's
// result and its log lines in the MSI log. Both run deferred, as the system account.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <string.h>

#include "platform/guards.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

const char kResultKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const char kLogName[] = "PkgMgrSetup.log";
// While an upgrade replaces the older package, the newer one's product code, so that the
// older one's removal leaves the application alone (also where the Windows Installer
// does not set UPGRADINGPRODUCTCODE in the older package's session, as under Wine).
const char kUpgradeKey[] = "SOFTWARE\\QUVO\\PkgMgr MSI";
const char kUpgradeValue[] = "Upgrading";
// The older package's removal reads the mark (and clears it) within a minute or so of its
// writing; an older mark was left by an upgrade that failed or was cancelled before, and
// the removal then runs as any other, rather than leave the application behind.
const ULONGLONG kUpgradeMarkLifetime = 5ull * 60 * 10000000;  // in 100-ns units
// What one run of setup.exe writes to its log at most (its last line included).
const DWORD kRunLogLimit = 132 * 1024;

enum Mode { kInstall, kRemove };

struct CloseMsiHandle {
    void operator()(MSIHANDLE handle) const { MsiCloseHandle(handle); }
};
using UniqueMsiHandle = UniqueResource<MSIHANDLE, CloseMsiHandle>;

// One line into the MSI log (and to an interactive user's progress text). The line is
// the record's template, with its brackets escaped: the Windows Installer would take
// "[NAME]" for a property (also in a field, under Wine) and put its value in.
void logLine(MSIHANDLE install, const char* text)
{
    char escaped[8 * kPathChars];
    size_t used = 0;
    for (const char* c = text; *c; ++c) {
        const char* piece = *c == '[' ? "[\\[]" : *c == ']' ? "[\\]]" : nullptr;
        size_t length = piece ? 4 : 1;
        if (used + length >= sizeof escaped)
            break;  // a longer line is cut: it only informs
        memcpy(escaped + used, piece ? piece : c, length);
        used += length;
    }
    escaped[used] = '\0';
    UniqueMsiHandle record(MsiCreateRecord(0));
    if (!record)
        return;
    MsiRecordSetStringA(record.get(), 0, escaped);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

// A line made of pieces (a longer one is cut: it only informs).
void logText(MSIHANDLE install, const char* first, const char* second, const char* third = "",
             const char* fourth = "")
{
    char text[4 * kPathChars];
    copyText(text, sizeof text, first);
    appendText(text, sizeof text, second);
    appendText(text, sizeof text, third);
    appendText(text, sizeof text, fourth);
    logLine(install, text);
}

// "Setup" of the account that runs the action (the system account's own HKEY_CURRENT_USER).
void deleteResultValue()
{
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kResultKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), "Setup");
}

void readResultValue(char* out, DWORD capacity)
{
    copyText(out, capacity, "none");
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kResultKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    char value[16];
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key.get(), "Setup", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS && type == REG_SZ) {
        value[size] = '\0';
        copyText(out, capacity, value);
    }
}

// Returns the registry's status: ERROR_SUCCESS when the mark was written.
LONG setUpgradeMark(const char* productCode)
{
    UniqueKey key;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUpgradeKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExA(key.get(), kUpgradeValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(productCode),
                                DWORD(strlen(productCode) + 1));
    return status;
}

void clearUpgradeMark()
{
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUpgradeKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), kUpgradeValue);
}

// The product code of another package whose upgrade is under way: a mark that is not
// `ownCode`, set (the key's last write) less than kUpgradeMarkLifetime ago.
bool upgradeUnderWay(const char* ownCode, char* newer, DWORD capacity)
{
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUpgradeKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = capacity - 1;
    if (RegQueryValueExA(key.get(), kUpgradeValue, nullptr, &type, reinterpret_cast<BYTE*>(newer), &size) !=
            ERROR_SUCCESS || type != REG_SZ)
        return false;
    newer[size] = '\0';
    FILETIME written = {0, 0}, now;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &written) != ERROR_SUCCESS)
        return false;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER then64, now64;
    then64.LowPart = written.dwLowDateTime;
    then64.HighPart = written.dwHighDateTime;
    now64.LowPart = now.dwLowDateTime;
    now64.HighPart = now.dwHighDateTime;
    bool recent = then64.QuadPart <= now64.QuadPart && now64.QuadPart - then64.QuadPart < kUpgradeMarkLifetime;
    return recent && newer[0] != '\0' && lstrcmpiA(newer, ownCode) != 0;
}

// The log's size before the run: the run's lines are what lies past it afterwards.
DWORD logSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) || data.nFileSizeHigh != 0)
        return 0;
    return data.nFileSizeLow;
}

struct RunLog {
    char* text;  // the run's lines, NUL-terminated; null when the log could not be read
    UniqueLocal block;
};

// Reads what the run appended to the log after `before` bytes. A log that is now shorter
// was turned into the previous one when the run started: all of it is the run's.
void readRunLog(const char* path, DWORD before, RunLog* log)
{
    log->text = nullptr;
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0)
        return;
    DWORD start = size >= before ? before : 0;
    DWORD length = size - start;
    if (length > kRunLogLimit) {  // keep the end, where the result is
        start = size - kRunLogLimit;
        length = kRunLogLimit;
    }
    log->block.reset(LocalAlloc(LMEM_FIXED, length + 1));
    char* bytes = static_cast<char*>(log->block.get());
    DWORD read = 0;
    if (!bytes || SetFilePointer(file.get(), LONG(start), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(file.get(), bytes, length, &read, nullptr))
        return;
    bytes[read] = '\0';
    log->text = bytes;
}

// Sends each line of the run's log to the MSI log; whether one of them says `phrase`.
bool forwardLog(MSIHANDLE install, char* text, const char* phrase)
{
    bool found = false;
    char* line = text;
    while (line && *line) {
        char* end = strchr(line, '\n');
        if (end)
            *end = '\0';
        size_t length = strlen(line);
        if (length > 0 && line[length - 1] == '\r')
            line[length - 1] = '\0';
        if (*line) {
            logText(install, "setup.exe: ", line);
            if (phrase && strstr(line, phrase))
                found = true;
        }
        line = end ? end + 1 : nullptr;
    }
    return found;
}

UINT runSetup(MSIHANDLE install, Mode mode)
{
    // "[ProductCode];[INSTALLDIR]": the package's code and the release folder (with a
    // trailing backslash), as the action's data.
    char data[kPathChars + 40];
    DWORD dataLength = sizeof data;
    char* semicolon = nullptr;
    if (MsiGetPropertyA(install, "CustomActionData", data, &dataLength) == ERROR_SUCCESS)
        semicolon = strchr(data, ';');
    if (!semicolon || semicolon[1] == '\0') {
        logLine(install, "PkgMgr MSI: no release folder (or one too long) was handed to the action");
        return ERROR_INSTALL_FAILURE;
    }
    *semicolon = '\0';
    const char* productCode = data;
    char folder[kPathChars];
    if (!copyText(folder, sizeof folder, semicolon + 1)) {
        logText(install, "PkgMgr MSI: the release folder's path is too long: ", semicolon + 1);
        return ERROR_INSTALL_FAILURE;
    }
    char newer[64];
    if (mode == kRemove && upgradeUnderWay(productCode, newer, sizeof newer)) {
        // The mark serves this one removal: a later removal of this package runs /U again.
        clearUpgradeMark();
        logText(install, "PkgMgr MSI: the upgrade to ", newer, " replaces this package: setup.exe /U is not run");
        return ERROR_SUCCESS;
    }
    if (mode == kInstall)
        clearUpgradeMark();  // the older package has gone by now
    const char* separator = endsWithSeparator(folder) ? "" : "\\";
    char program[kPathChars], logPath[kPathChars];
    if (!formatText(program, sizeof program, "%s%ssetup.exe", folder, separator) ||
        !formatText(logPath, sizeof logPath, "%s%s%s", folder, separator, kLogName)) {
        logText(install, "PkgMgr MSI: the release folder's path is too long: ", folder);
        return ERROR_INSTALL_FAILURE;
    }
    // /R: a restart still needed ends 3010; the log lies in the release folder, which
    // only administrators may write.
    const char* options = mode == kInstall ? "/S /R" : "/S /U /R";
    char commandLine[3 * kPathChars + 32];
    if (!formatText(commandLine, sizeof commandLine, "\"%s\" %s /L=\"%s\"", program, options, logPath)) {
        logText(install, "PkgMgr MSI: the command line is too long: ", program);
        return ERROR_INSTALL_FAILURE;
    }

    // "Setup" tells a run that stored its result from one that did not run at all (both may end 0).
    deleteResultValue();
    DWORD before = logSize(logPath);
    logText(install, "PkgMgr MSI: running ", commandLine);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
        char error[16];
        formatText(error, sizeof error, "%u", unsigned(GetLastError()));
        logText(install, "PkgMgr MSI: setup.exe could not be started (error ", error, "): ", program);
        return ERROR_INSTALL_FAILURE;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode))
        exitCode = DWORD(-1);
    char result[16];
    readResultValue(result, sizeof result);

    // A removal that finds no installation (the program was removed through its own
    // entry first) has nothing left to do: the package's removal goes on.
    RunLog log;
    readRunLog(logPath, before, &log);
    bool nothingLeft = false;
    if (log.text)
        nothingLeft = forwardLog(install, log.text, "nothing to remove:") && mode == kRemove && exitCode == 8;
    else
        logText(install, "PkgMgr MSI: setup.exe's log could not be read: ", logPath);

    char summary[64];
    formatText(summary, sizeof summary, "exit code %u, \"Setup\" %s", unsigned(exitCode), result);
    bool stored = strcmp(result, "0000") == 0;
    if (exitCode == 0 && stored) {
        logText(install, "PkgMgr MSI: setup.exe ended with ", summary, mode == kInstall ? ": installed" : ": removed");
        return ERROR_SUCCESS;
    }
    if (exitCode == ERROR_SUCCESS_REBOOT_REQUIRED && stored) {
        // The package's REBOOT=ReallySuppress keeps msiexec from restarting by itself:
        // it ends 3010 and the restart is left to the administrator.
        logText(install, "PkgMgr MSI: setup.exe ended with ", summary,
                ": done; files in use are replaced or deleted at the next restart");
        MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
        return ERROR_SUCCESS;
    }
    if (nothingLeft) {
        logText(install, "PkgMgr MSI: setup.exe ended with ", summary,
                ": nothing left to remove (removed through its own entry before)");
        return ERROR_SUCCESS;
    }
    logText(install, "PkgMgr MSI: setup.exe ended with ", summary,
            mode == kInstall ? ": the installation failed" : ": the removal failed", " (the lines above say why)");
    return ERROR_INSTALL_FAILURE;
}

}  // namespace

// Before an upgrade removes the older package: marks the upgrade with this package's
// product code (an immediate action, which reads the property itself).
extern "C" __declspec(dllexport) UINT __stdcall MarkUpgrade(MSIHANDLE install)
{
    char code[64];
    DWORD length = sizeof code;
    if (MsiGetPropertyA(install, "ProductCode", code, &length) != ERROR_SUCCESS || code[0] == '\0')
        return ERROR_INSTALL_FAILURE;
    LONG status = setUpgradeMark(code);
    if (status != ERROR_SUCCESS) {
        char error[16];
        formatText(error, sizeof error, "%u", unsigned(status));
        logText(install, "PkgMgr MSI: the upgrade mark could not be written (error ", error,
                "): the older package's removal runs setup.exe /U");
    }
    logText(install, "PkgMgr MSI: upgrading to ", code);
    return ERROR_SUCCESS;
}

// The rollback of MarkUpgrade: a failed upgrade leaves no mark.
extern "C" __declspec(dllexport) UINT __stdcall UnmarkUpgrade(MSIHANDLE)
{
    clearUpgradeMark();
    return ERROR_SUCCESS;
}

// "setup.exe /S": the installation, also over an older version during an upgrade.
extern "C" __declspec(dllexport) UINT __stdcall InstallSetup(MSIHANDLE install)
{
    return runSetup(install, kInstall);
}

// "setup.exe /S /U": the package's removal, but not when an upgrade removes the older package.
extern "C" __declspec(dllexport) UINT __stdcall RemoveSetup(MSIHANDLE install)
{
    return runSetup(install, kRemove);
}
