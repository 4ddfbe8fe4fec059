// Cuts setup.exe off at random instants, and starts it twice at once, and checks that
// the next plain run completes what was left: the machine then holds exactly what an
// uninterrupted installation or removal leaves, and nothing of another program's
// pending restart operations is lost. Prints figures per kind.
//
//   interrupt_bench.exe PACKAGE KIND RUNS SEED
//
// PACKAGE is the sample release folder; KIND is "install" (cut an installation off,
// run it again, remove), "removal" (install, cut the removal off, run it again),
// "rollback" (cut an installation off, then remove with the package's setup.exe, as a
// deployment tool rolls a failed installation back), "together" (two installations at
// once) or "beside" (an installation beside a removal). Exit code 0 when every run was
// completed.
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <set>
#include <string>

#include "actions/machine.h"

namespace {

const char kProductKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltranoSoftwareInstaller";
const char kButtonKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{7B3E9C41-A52D-4e8b-9F06-D2C4817E35AB}";
const char kUserKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const DWORD kTimeLimit = 60000;

using State = std::set<std::string>;

std::string package;
bool ntFamily;

std::string hashOf(const std::string& bytes)
{
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[32];
    snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

std::string shellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

// Files below `folder`: name, and the content's hash except for shortcuts, whose
// bytes hold the target's times.
void addFiles(State& state, const std::string& folder, const std::string& label)
{
    for (const std::string& name : folderContents(folder)) {
        std::string path = folder + "\\" + name;
        if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            addFiles(state, path, label + "\\" + name);
            continue;
        }
        bool shortcut = name.size() > 4 && lstrcmpiA(name.c_str() + name.size() - 4, ".lnk") == 0;
        state.insert("file " + label + "\\" + name + (shortcut ? "" : " " + hashOf(readFile(path))));
    }
}

// The download folder is the first candidate that does not exist yet, so a run after
// one that made a candidate takes the next one, and registers it as a search folder
// only when it made it: which folder it is, and whether it is registered, depends on
// the folders there and is no fault. That one is recorded is compared.
const char* const kDownloadCandidates[] = {"C:\\DRIVERS", "C:\\PkgMgr Drivers"};

std::string withoutDownloadFolder(std::string text)
{
    for (const char* folder : kDownloadCandidates) {
        for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder))
            text.replace(at, strlen(folder), "<download folder>");
    }
    return text;
}

void addKey(State& state, HKEY root, const std::string& rawKey, const char* label)
{
    std::string key = withoutDownloadFolder(rawKey);
    if (key.find("SearchPath\\<download folder>") != std::string::npos)
        return;
    HKEY handle;
    if (RegOpenKeyExA(root, rawKey.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return;
    state.insert(std::string("key ") + label + "\\" + key);
    char name[512];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(handle, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        if (root == HKEY_CURRENT_USER && lstrcmpiA(name, "Setup") == 0)
            continue;  // the result of the last run, read separately
        std::string value(reinterpret_cast<char*>(data), dataSize);
        state.insert(std::string("value ") + label + "\\" + key + "\\" + name + " " + std::to_string(type) + " " +
                     hashOf(withoutDownloadFolder(value)));
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(handle, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        addKey(state, root, rawKey + "\\" + name, label);
    }
    RegCloseKey(handle);
}

// What the product has on the machine: files, shortcuts and records.
State machineState()
{
    State state;
    std::string programs = shellFolder(CSIDL_PROGRAM_FILES);
    addFiles(state, programs + "\\PkgMgr", "programs");
    addFiles(state, shellFolder(CSIDL_COMMON_PROGRAMS), "menu");
    addFiles(state, shellFolder(CSIDL_PROGRAMS), "user menu");
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU}) {
        for (const std::string& name : folderContents(shellFolder(csidl))) {
            if (name.find("Package Manager") != std::string::npos)
                state.insert("shortcut " + std::to_string(csidl) + "\\" + name);
        }
    }
    std::string uninstaller = readFile(windowsFolder() + "\\_zemu000.exe");
    if (uninstaller != kAbsent)
        state.insert("file windows\\_zemu000.exe " + hashOf(uninstaller));
    addKey(state, HKEY_LOCAL_MACHINE, kProductKey, "HKLM");
    addKey(state, HKEY_LOCAL_MACHINE, kUninstallKey, "HKLM");
    addKey(state, HKEY_LOCAL_MACHINE, kButtonKey, "HKLM");
    addKey(state, HKEY_CURRENT_USER, kUserKey, "HKCU");
    return state;
}

// Another program's pending operations, put there before every run.
const char kForeignOld[] = "C:\\foreign\\old.tmp";
const char kForeignNew[] = "C:\\foreign\\new.tmp";

void plantForeignOperations()
{
    if (ntFamily) {
        std::string list = std::string("\\??\\") + kForeignOld + '\0' + "\\??\\" + kForeignNew + '\0' + '\0';
        setValue("SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
                 StoredValue(REG_MULTI_SZ, list));
    } else {
        WritePrivateProfileStringA("rename", "NUL", kForeignOld, (windowsFolder() + "\\WININIT.INI").c_str());
    }
}

bool foreignOperationsKept()
{
    if (ntFamily) {
        for (const auto& operation : pendingOperations()) {
            if (lstrcmpiA(operation.first.c_str(), kForeignOld) == 0 &&
                lstrcmpiA(operation.second.c_str(), kForeignNew) == 0)
                return true;
        }
        return false;
    }
    for (const std::string& line : renameLines()) {
        if (lstrcmpiA(line.c_str(), (std::string("NUL=") + kForeignOld).c_str()) == 0)
            return true;
    }
    return false;
}

void resetPending()
{
    clearPendingOperations();
    DeleteFileA((windowsFolder() + "\\WININIT.INI").c_str());
    plantForeignOperations();
}

// Nothing of the product left, as on a machine where it was never installed.
void clearMachine()
{
    removeTree(shellFolder(CSIDL_PROGRAM_FILES) + "\\PkgMgr");
    removeTree(shellFolder(CSIDL_COMMON_PROGRAMS) + "\\Package Manager");
    removeTree(shellFolder(CSIDL_PROGRAMS) + "\\Package Manager");
    deleteTree(kProductKey);
    deleteTree(kUninstallKey);
    deleteTree(kButtonKey);
    HKEY user;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\QUVO", 0, KEY_ALL_ACCESS, &user) == ERROR_SUCCESS) {
        RegDeleteKeyA(user, "VeltranoSoftwareInstaller");
        RegCloseKey(user);
    }
    DeleteFileA((windowsFolder() + "\\_zemu000.exe").c_str());
    // The download folders an installation made: which one it takes depends on which exist.
    for (const char* folder : kDownloadCandidates)
        RemoveDirectoryA(folder);
    RemoveDirectoryA("C:\\PkgMgr Downloads");
    resetPending();
}

void setUserText(const char* key, const char* name, const char* text)
{
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
        RegCloseKey(handle);
    }
}

std::string resultValue()
{
    HKEY key;
    std::string result = "(none)";
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char text[64] = "";
        DWORD size = sizeof text - 1;  // a value without its zero still ends in one
        if (RegQueryValueExA(key, "Setup", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS)
            result = text;
        RegCloseKey(key);
    }
    return result;
}

struct Run {
    HANDLE process = nullptr;
};

// An installation, or a removal by the installed uninstaller or by the package's setup.exe.
Run startRun(bool removal, bool fromPackage = false)
{
    std::string exe = removal && !fromPackage ? windowsFolder() + "\\_zemu000.exe" : package + "\\setup.exe";
    std::string line = "\"" + exe + "\" " + (removal ? "/S /U" : "/S");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Run run;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, package.c_str(), &startup, &process)) {
        CloseHandle(process.hThread);
        run.process = process.hProcess;
    }
    return run;
}

// The exit code after at most the time limit; -1 after a hang, -2 when it did not start.
DWORD finishRun(Run& run)
{
    if (!run.process)
        return DWORD(-2);
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(run.process, kTimeLimit) == WAIT_OBJECT_0)
        GetExitCodeProcess(run.process, &code);
    else
        TerminateProcess(run.process, 1);
    CloseHandle(run.process);
    run.process = nullptr;
    return code;
}

DWORD runToEnd(bool removal, bool fromPackage = false)
{
    Run run = startRun(removal, fromPackage);
    return finishRun(run);
}

bool stateHolds(const State& state, const std::string& piece)
{
    for (const std::string& line : state) {
        if (line.find(piece) != std::string::npos)
            return true;
    }
    return false;
}

// What a removal after a cut-off installation may leave, and nothing else: without
// "ProgDir" it knows no files (it ends 8, "nothing to remove"), without "Name" no
// shortcuts, without "MenuDir" no menu shortcut.
std::string rollbackLeftovers(const State& removed, const State& left, const State& state)
{
    bool recorded = stateHolds(left, "\\ProgDir ");
    bool named = stateHolds(left, "\\Name ");
    bool menuRecorded = stateHolds(left, "\\MenuDir ");
    std::string text;
    for (const std::string& line : state) {
        bool shortcut = line.find(".lnk") != std::string::npos || line.rfind("shortcut ", 0) == 0;
        bool menuShortcut = shortcut && line.find("menu\\") != std::string::npos;
        bool file = line.rfind("file programs\\", 0) == 0 || line.rfind("file windows\\", 0) == 0;
        if (!removed.count(line) &&
            !((!named && shortcut) || (!menuRecorded && menuShortcut) || (!recorded && file)))
            text += "\n      extra:   " + line;
    }
    for (const std::string& line : removed) {
        if (!state.count(line) && left.count(line))  // what the cut-off run had not made yet is not missing
            text += "\n      missing: " + line;
    }
    return text;
}

// Cuts the run off after `delay` ms; false when it had ended by itself.
bool cutOff(bool removal, DWORD delay)
{
    Run run = startRun(removal);
    if (!run.process)
        return false;
    bool cut = WaitForSingleObject(run.process, delay) == WAIT_TIMEOUT;
    if (cut) {
        TerminateProcess(run.process, 1);
        WaitForSingleObject(run.process, kTimeLimit);
    }
    CloseHandle(run.process);
    return cut;
}

// The last phase whose effect shows in `state`, for the histogram.
std::string phaseShown(const State& state, bool removal)
{
    auto has = [&](const std::string& piece) {
        for (const std::string& line : state) {
            if (line.find(piece) != std::string::npos)
                return true;
        }
        return false;
    };
    if (removal) {
        if (!has("programs\\PkgMgr.exe"))
            return !has(kUninstallKey) ? "all removed" : !has("\\ProgDir ") ? "records being removed" : "files removed";
        return "nothing removed yet";
    }
    if (has(kUninstallKey))
        return "8 uninstall entry";
    if (has("\\Install\\") || has("\\Install "))
        return "7 install records";
    if (has("\\MenuDir "))
        return "6 menu and internet";
    if (has("\\SearchPath"))
        return "5 search folders";
    if (has("\\Name "))
        return "4 identity";
    if (has("\\ProgDir "))
        return "3 program folder";
    if (has(".lnk"))
        return "2 shortcuts";
    if (has("programs\\"))
        return "1 files";
    return "0 before the files";
}

std::string difference(const State& want, const State& got)
{
    std::string text;
    for (const std::string& line : want) {
        if (!got.count(line))
            text += "\n      missing: " + line;
    }
    for (const std::string& line : got) {
        if (!want.count(line))
            text += "\n      extra:   " + line;
    }
    return text;
}

struct Figures {
    int runs = 0;
    int completed = 0;
    std::map<std::string, int> cutAt;
    std::string failures;
};

void fail(Figures& figures, int cycle, const std::string& where, const std::string& what)
{
    char head[96];
    snprintf(head, sizeof head, "\n  run %d, cut off at \"%s\": ", cycle, where.c_str());
    figures.failures += head + what;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: interrupt_bench PACKAGE install|removal|rollback|together|beside RUNS SEED\n");
        return 2;
    }
    // A package named without a drive lies beside this program.
    package = argv[1];
    if (package.find(':') == std::string::npos && package[0] != '\\')
        package = moduleFolder() + "\\" + package;
    std::string kind = argv[2];
    int runs = atoi(argv[3]);
    srand(unsigned(atoi(argv[4])));
    // As on a booted Windows: a window of this program keeps Wine's desktop running
    // between the runs, and Wine's X11 driver leaves the windows unmanaged (with no
    // window manager on the display it waits for one when a managed window is hidden).
    HWND keeper = CreateWindowExA(0, "STATIC", "desktop keeper", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    setUserText("Software\\Wine\\X11 Driver", "Managed", "N");
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    ntFamily = version.dwPlatformId == VER_PLATFORM_WIN32_NT;

    // The reference: an uninterrupted installation and removal, timed.
    clearMachine();
    DWORD started = GetTickCount();
    DWORD code = runToEnd(false);
    DWORD installTime = GetTickCount() - started;
    State installed = machineState();
    std::string installedResult = resultValue();
    started = GetTickCount();
    DWORD removalCode = runToEnd(true);
    DWORD removalTime = GetTickCount() - started;
    State removed = machineState();
    if (code != 0 || removalCode != 0 || installedResult != "0000" || resultValue() != "0000") {
        printf("the uninterrupted runs failed: installation %lu, removal %lu\n", code, removalCode);
        return 1;
    }

    Figures figures;
    for (int cycle = 1; cycle <= runs; ++cycle) {
        clearMachine();
        ++figures.runs;
        std::string where;
        bool ok = true;
        auto check = [&](bool good, const std::string& what) {
            if (!good && ok)
                fail(figures, cycle, where, what);
            ok = ok && good;
        };
        if (kind == "rollback") {
            DWORD delay = DWORD(rand() % int(installTime * 12 / 10 + 1));
            bool cut = cutOff(false, delay);
            State left = machineState();
            where = cut ? phaseShown(left, false) : "ended before the cut";
            figures.cutAt[where]++;
            DWORD again = runToEnd(true, true);
            std::string value = resultValue();
            DWORD expected = stateHolds(left, "\\ProgDir ") ? 0 : 8;
            check(again == expected, "the removal ended with " + std::to_string(again) + ", \"" + value + "\"");
            check(std::to_string(again) == std::to_string(strtoul(value.c_str(), nullptr, 16)),
                  "exit code " + std::to_string(again) + " but \"" + value + "\"");
            std::string extra = rollbackLeftovers(removed, left, machineState());
            check(extra.empty(), "the removal left:" + extra);
            check(foreignOperationsKept(), "another program's pending operation was lost");
        } else if (kind == "install" || kind == "removal") {
            bool removal = kind == "removal";
            if (removal)
                check(runToEnd(false) == 0, "the installation before the removal failed");
            DWORD span = removal ? removalTime : installTime;
            DWORD delay = DWORD(rand() % int(span * 12 / 10 + 1));
            bool cut = cutOff(removal, delay);
            where = cut ? phaseShown(machineState(), removal) : "ended before the cut";
            figures.cutAt[where]++;
            DWORD again = runToEnd(removal);
            std::string value = resultValue();
            // A removal that had ended leaves nothing to remove: the next one says so.
            bool nothingLeft = removal && machineState() == removed;
            check(again == 0 || (nothingLeft && again == 8),
                  "the next run ended with " + std::to_string(again) + ", \"" + value + "\"");
            check(std::to_string(again) == std::to_string(strtoul(value.c_str(), nullptr, 16)),
                  "exit code " + std::to_string(again) + " but \"" + value + "\"");
            State state = machineState();
            check(state == (removal ? removed : installed), "the machine differs:" + difference(removal ? removed : installed, state));
            check(foreignOperationsKept(), "another program's pending operation was lost");
            if (!removal) {
                DWORD removalAgain = runToEnd(true);
                check(removalAgain == 0 && resultValue() == "0000", "the removal ended with " + std::to_string(removalAgain));
                State after = machineState();
                check(after == removed, "the removal left:" + difference(removed, after));
                check(foreignOperationsKept(), "another program's pending operation was lost at removal");
            }
        } else {
            bool beside = kind == "beside";
            if (beside)
                check(runToEnd(false) == 0, "the installation before the removal failed");
            where = beside ? "installation beside removal" : "two installations";
            figures.cutAt[where]++;
            Run first = startRun(false);
            Run second = startRun(beside);
            DWORD a = finishRun(first);
            DWORD b = finishRun(second);
            std::string value = resultValue();
            char codes[96];
            snprintf(codes, sizeof codes, "exit codes %lu and %lu, \"%s\"", a, b, value.c_str());
            check(a != DWORD(-1) && b != DWORD(-1), std::string("a run did not end in time: ") + codes);
            unsigned long written = strtoul(value.c_str(), nullptr, 16);
            check(written == a || written == b, std::string("the result value is neither run's: ") + codes);
            check(foreignOperationsKept(), "another program's pending operation was lost");
            DWORD again = runToEnd(false);
            State state = machineState();
            check(again == 0 && state == installed,
                  "the next installation ended with " + std::to_string(again) + difference(installed, state));
            check(runToEnd(true) == 0 && machineState() == removed, "the removal after them did not complete");
        }
        figures.completed += ok;
    }

    printf("%s, %s, %s: %d runs, %d completed by the next run (%.1f %%); uninterrupted installation %lu ms, removal %lu ms\n",
           kind.c_str(), ntFamily ? "NT family" : "Windows 9x", package.c_str(), figures.runs, figures.completed,
           figures.runs ? 100.0 * figures.completed / figures.runs : 0.0, installTime, removalTime);
    for (const auto& entry : figures.cutAt)
        printf("  %-28s %d\n", entry.first.c_str(), entry.second);
    if (!figures.failures.empty())
        printf("failures:%s\n", figures.failures.c_str());
    clearMachine();
    if (keeper)
        DestroyWindow(keeper);
    return figures.completed == figures.runs ? 0 : 1;
}
