// Every result code of the setup run, provoked for real: a setup folder, the machine
// and the run's options prepared so that one check or phase fails, then the whole
// entry routine run in this process with real files, registry and dialogs. Only the
// message boxes (so that their texts can be read), registry writes that Wine cannot
// refuse and the token queries go through the seam. Runs in a prefix of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "actions/machine.h"
#include "platform/trace.h"
#include "platform/seam.h"
#include "platform/trusted_names.h"
#include "resources/resource.h"
#include "setup/context.h"
#include "setup/run_log.h"
#include "setup/run_test_support.h"

namespace {

const std::string kProductKey = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltranoSoftwareInstaller";
const char kName[] = "PkgMgr Fault";
const char* const kPayload[] = {"ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
                                "zemlibb.dll",  "unicows.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};

std::string specialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

std::string programFolder()
{
    return specialFolder(CSIDL_PROGRAM_FILES) + "\\" + kName;
}

std::string menuFolder()
{
    return specialFolder(CSIDL_COMMON_PROGRAMS) + "\\" + kName;
}

// ---- The setup folder the run finds beside "its" setup.exe ----

std::string package;  // a new folder for every package: profiles are cached by name

DWORD WINAPI packageModulePath(HMODULE, LPSTR path, DWORD size)
{
    lstrcpynA(path, (package + "\\setup.exe").c_str(), int(size));
    return DWORD(strlen(path));
}

std::string settingsText(const std::string& target = kName, const std::string& search = "C:\\PkgMgr Fault Search")
{
    return "[INIT]\r\nTARGET=" + target + "\r\nGROUP=" + kName + "\r\nDEFAULTSEARCH=" + search +
           "\r\nDOWNLOAD=\\PkgMgr Fault Downloads\r\n";
}

std::string releaseText()
{
    return std::string("[RELEASE]\r\nNAME=") + kName + "\r\nVERSION=1.03.0000\r\n[ZEM]\r\nXRELEASE=1\r\n";
}

// A complete settings-file package; `settings` and `release` replace the setup data.
void makePackage(const std::string& settings = settingsText(), const std::string& release = releaseText())
{
    static int count;
    package = "C:\\faults\\package-" + std::to_string(++count);
    makeFolders(package);
    CopyFileA((binFolder() + "\\setup.exe").c_str(), (package + "\\setup.exe").c_str(), FALSE);
    CopyFileA((binFolder() + "\\PkgMgr.exe").c_str(), (package + "\\PkgMgr").c_str(), FALSE);
    for (const char* file : kPayload)
        writeFile(package + "\\" + file, std::string(file) + " payload\r\n");
    if (!settings.empty())
        writeFile(package + "\\ZemSetup.dat", settings);
    if (!release.empty())
        writeFile(package + "\\PkgMgr.zem", release);
}

void makeDescriptorPackage(const std::string& descriptor)
{
    makePackage(settingsText(), "");
    writeFile(package + "\\QUVOZEM.xml", descriptor);
}

// ---- What the run shows ----

std::vector<ShownMessage> messages;

// Records every message box; the removal question is answered "Yes".
int WINAPI answerMessage(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    messages.push_back({text ? text : "", caption ? caption : "(default)", type});
    return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

// The restart prompt, recorded as a message without a caption.
int WINAPI noRestartPrompt(void*, HWND, BOOL)
{
    messages.push_back({"(restart prompt)", "", 0});
    return 0;
}

// Presses `button` in the options dialog as soon as the dialog has set itself up. A
// hook of this thread does it, so that nothing runs beside the entry routine: a thread
// of the test's own would start while the run loads its system DLLs for the first time
// in the process, which setup.exe never does with a second thread.
class OptionsAnswer {
public:
    explicit OptionsAnswer(int button)
    {
        button_ = button;
        hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, answer, nullptr, GetCurrentThreadId());
    }
    ~OptionsAnswer() { UnhookWindowsHookEx(hook_); }

private:
    static LRESULT CALLBACK answer(int code, WPARAM sent, LPARAM parameter)
    {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(parameter);
        if (code == HC_ACTION && call->message == WM_INITDIALOG && GetDlgItem(call->hwnd, IDC_FOLDER))
            PostMessageA(call->hwnd, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(call->hwnd, button_)));
        return CallNextHookEx(nullptr, code, sent, parameter);
    }
    static int button_;
    HHOOK hook_;
};
int OptionsAnswer::button_;

// ---- Registry writes and removals refused by value name ----

std::string refusedValue;  // "(default)" names the default value

LONG WINAPI refuseNamedValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    if (refusedValue == (name && *name ? name : "(default)"))
        return ERROR_ACCESS_DENIED;
    return RegSetValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI refuseNamedRemoval(HKEY key, LPCSTR name)
{
    if (refusedValue == (name && *name ? name : "(default)"))
        return ERROR_ACCESS_DENIED;
    return RegDeleteValueA(key, name);
}

// The shell's file operations: every one must fail rather than wait on an error box;
// refusedValue "(shell)" makes the shell report each one aborted, having done nothing.
std::vector<FILEOP_FLAGS> shellFlags;

int WINAPI watchShell(LPSHFILEOPSTRUCTA operation)
{
    shellFlags.push_back(operation->fFlags);
    if (refusedValue == "(shell)") {
        operation->fAnyOperationsAborted = TRUE;
        return 0;
    }
    return SHFileOperationA(operation);
}

// ---- The machine afterwards ----

constexpr unsigned kFiles = 1;  // the application in the program folder
constexpr unsigned kUninstaller = 2;  // _zemu000.exe in the Windows folder
constexpr unsigned kShortcut = 4;  // the menu shortcut
constexpr unsigned kFolderValue = 8;  // "ProgDir"
constexpr unsigned kIdentity = 16;  // "Name"
constexpr unsigned kSearch = 32;  // the search folder record
constexpr unsigned kMenuValue = 64;  // "MenuDir"
constexpr unsigned kUninstallEntry = 128;
constexpr unsigned kInstalled = 255;

unsigned machineState()
{
    unsigned state = 0;
    state |= exists(programFolder() + "\\PkgMgr.exe") ? kFiles : 0;
    state |= exists(windowsFolder() + "\\_zemu000.exe") ? kUninstaller : 0;
    state |= exists(menuFolder() + "\\" + kName + ".lnk") ? kShortcut : 0;
    state |= storedValue(kProductKey, "ProgDir").second != kAbsent ? kFolderValue : 0;
    state |= storedValue(kProductKey, "Name").second != kAbsent ? kIdentity : 0;
    state |= keyExists(kProductKey + "\\SearchPath") ? kSearch : 0;
    state |= storedValue(kProductKey, "MenuDir").second != kAbsent ? kMenuValue : 0;
    state |= keyExists(kUninstallKey) ? kUninstallEntry : 0;
    return state;
}

HANDLE lockedFile = INVALID_HANDLE_VALUE;  // a payload file held open without sharing
std::string unchangeable;  // an installed file that nobody may change

void clearMachine()
{
    if (!unchangeable.empty())
        setUnchangeable(unchangeable, false);
    unchangeable.clear();
    if (lockedFile != INVALID_HANDLE_VALUE)
        CloseHandle(lockedFile);
    lockedFile = INVALID_HANDLE_VALUE;
    removeTree(programFolder());
    removeTree(menuFolder());
    DeleteFileA((windowsFolder() + "\\_zemu000.exe").c_str());
    DeleteFileA(programFolder().c_str());  // a file in the way of a folder
    DeleteFileA(menuFolder().c_str());
    removeTree("C:\\PkgMgr Fault Downloads");
    deleteTree(kProductKey);
    deleteTree(kUninstallKey);
    clearPendingOperations();
}

// The final report a user sees for `code` in install or removal mode.
ShownMessage expectedReport(int code, bool install)
{
    std::string caption = resourceText(install ? 3 : 4);
    if (code == 0)
        return {resourceText(6), caption, MB_ICONINFORMATION};
    if (code == 13 || code == 15)
        return {resourceText(code), resourceText(14), MB_ICONWARNING};
    char text[300];
    wsprintfA(text, resourceText(7).c_str(), resourceText(code).c_str());
    return {text, caption, MB_ICONWARNING};
}

struct Fault {
    const char* what;
    const char* options;  // install or removal; "/S /L" is added for the silent pass
    void (*arrange)();    // prepares the package and the machine
    int code;
    unsigned stateAfter;
    const char* cause;    // what the log of the silent pass names
    bool restart = false; // the files wait for the restart: the report is its prompt
};

// The log of runs with /L, in the temporary folder of the account that runs them.
std::string runLogPath(const char* name = "PkgMgrSetup.log")
{
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

void installFirst()
{
    makePackage();
    SeamGuard guard;
    platform.GetModuleFileNameA = packageModulePath;
    platform.SetupPromptReboot = noRestartPrompt;
    ASSERT_EQ(0, runSetup("/S"));
}

const Fault kFaults[] = {
    // The setup data or the options step.
    {"no setup data", "", [] { makePackage("", ""); }, 8, 0, "setup data file not found: C:\\faults\\package-"},
    {"release file without a version", "", [] { makePackage(settingsText(), "[RELEASE]\r\nNAME=x\r\n[ZEM]\r\nXRELEASE=1\r\n"); }, 8, 0, "no release name or version in"},
    {"release file without XRELEASE", "", [] { makePackage(settingsText(), "[RELEASE]\r\nNAME=x\r\nVERSION=1\r\n"); }, 8, 0, "names no release ([ZEM] XRELEASE)"},
    {"settings without TARGET", "", [] { makePackage("[INIT]\r\nGROUP=x\r\n"); }, 8, 0, "no target folder ([INIT] TARGET"},
    {"settings without GROUP", "", [] { makePackage("[INIT]\r\nTARGET=x\r\n"); }, 8, 0, "no menu folder ([INIT] GROUP)"},
    {"descriptor that does not parse", "", [] { makeDescriptorPackage("<build><zem id=\"PKGMGR\">"); }, 8, 0, "the descriptor is not well-formed"},
    {"descriptor without the release", "", [] { makeDescriptorPackage("<build><zem id=\"PKGMGR\"/></build>"); }, 8, 0, "QUVOZEM.xml"},
    {"removal with nothing installed", "/U", [] { makePackage(); }, 8, 0, "nothing to remove"},
    // Names that would put files elsewhere stop the run before anything is touched.
    {"product name not a file name", "",
     [] { makePackage(settingsText(), "[RELEASE]\r\nNAME=..\\Evil\r\nVERSION=1\r\n[ZEM]\r\nXRELEASE=1\r\n"); }, 8, 0, "the product name cannot be a file name"},
    {"removal with a relative program folder", "/U",
     [] { installFirst(); setValue(kProductKey, "ProgDir", textValue(kName)); }, 8, kInstalled, "would reach other files"},
    // Files.
    {"missing source file", "", [] { makePackage(); DeleteFileA((package + "\\zemlibb.dll").c_str()); }, 9, 0, "GetFileAttributesA failed, error 2 (0x00000002): C:\\faults\\package-"},
    {"program folder is a file", "", [] { makePackage(); writeFile(programFolder(), "in the way"); }, 9, 0, "CreateDirectoryA failed, error 183"},
    // A folder that leaves no room for the application's path fails the options; one
    // that leaves room for it but not for a longer file name fails the file phase.
    {"program folder leaves no room", "", [] { makePackage(settingsText(std::string(240, 'p'))); }, 8, 0, "does not fit a path"},
    {"program folder too long for a file", "",
     [] {  // a program folder of 247 characters, whichever program-files folder holds it
         makePackage(settingsText(std::string(246 - specialFolder(CSIDL_PROGRAM_FILES).size(), 'p')));
     },
     9, 0, "too long for the file paths"},
    // A removal cut off earlier: what it removed counts as removed.
    {"removal with the files gone", "/U", [] { installFirst(); removeTree(programFolder()); }, 0, kUninstaller, nullptr},
    {"removal with the files and ProgDir gone", "/U",
     [] {
         installFirst();
         removeTree(programFolder());
         removeValue(kProductKey, nullptr);
         removeValue(kProductKey, "ProgDir");
     },
     0, kUninstaller, nullptr},
    {"removal with only the uninstall entry left", "/U",
     [] {
         installFirst();
         removeTree(programFolder());
         removeTree(menuFolder());
         for (const char* name : {"", "ProgDir", "Name", "Version", "MenuDir", "DownloadDir"})
             removeValue(kProductKey, name[0] ? name : nullptr);
         deleteTree(std::string(kProductKey) + "\\SearchPath");
     },
     0, kUninstaller, nullptr},
    // A file in use is an application that runs unseen (in another session): its
    // files wait for the restart; the removal's records go at once.
    {"removal with a file in use", "/U",
     [] {
         installFirst();
         lockedFile = CreateFileA((programFolder() + "\\zemliba.dll").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
     },
     0, kFiles | kUninstaller, "CreateFileA (a file in use: the files wait for the restart) failed, error 32", true},
    {"update with a file in use", "",
     [] {
         installFirst();
         lockedFile = CreateFileA((programFolder() + "\\PkgMgr.exe").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
     },
     0, kInstalled, "CreateFileA (a file in use: the files wait for the restart) failed, error 32", true},
    // A file left for another cause fails the phase; nothing waits for the restart.
    {"removal with a file nobody may change", "/U",
     [] {
         installFirst();
         unchangeable = programFolder() + "\\zemliba.dll";
         ASSERT_TRUE(setUnchangeable(unchangeable, true));
     },
     10, kInstalled & ~kFiles, "(a file left for another cause than use: the phase fails) failed, error 5"},
    {"update with a file nobody may change", "",
     [] {
         installFirst();
         unchangeable = programFolder() + "\\zemliba.dll";
         ASSERT_TRUE(setUnchangeable(unchangeable, true));
     },
     9, kInstalled, "(a file left for another cause than use: the phase fails) failed, error 5"},
    // Shortcuts.
    {"shell reports the copy aborted", "", [] { makePackage(); refusedValue = "(shell)"; }, 9, 0, "the shell reports the operation aborted"},
    {"shell reports the removal aborted", "/U", [] { installFirst(); refusedValue = "(shell)"; }, 10, kInstalled, "the shell reports the operation aborted"},
    {"menu folder is a file", "",
     [] { makePackage(); makeFolders(specialFolder(CSIDL_COMMON_PROGRAMS)); writeFile(menuFolder(), "in the way"); },
     11, kFiles | kUninstaller, "IPersistFile::Save failed"},
    // Registry records, install phases I4 to I9 (I8 cannot fail).
    {"ProgDir refused", "", [] { makePackage(); refusedValue = "ProgDir"; }, 12, kFiles | kUninstaller | kShortcut, "RegSetValueExA failed, error 5 (0x00000005): ProgDir"},
    {"Name refused", "", [] { makePackage(); refusedValue = "Name"; }, 12, kFiles | kUninstaller | kShortcut | kFolderValue, "RegSetValueExA failed, error 5 (0x00000005): Name"},
    // The download folder is still made and registered before the step fails.
    {"search folder too long for its key", "", [] { makePackage(settingsText(kName, "C:\\" + std::string(220, 's'))); },
     12, kFiles | kUninstaller | kShortcut | kFolderValue | kIdentity | kSearch, "too long for its registry key"},
    {"MenuDir refused", "", [] { makePackage(); refusedValue = "MenuDir"; },
     12, kFiles | kUninstaller | kShortcut | kFolderValue | kIdentity | kSearch, "RegSetValueExA failed, error 5 (0x00000005): MenuDir"},
    {"InternetFunction refused", "", [] { makePackage(); refusedValue = "InternetFunction"; },
     12, kFiles | kUninstaller | kShortcut | kFolderValue | kIdentity | kSearch | kMenuValue, "RegSetValueExA failed, error 5 (0x00000005): InternetFunction"},
    {"UninstallString refused", "", [] { makePackage(); refusedValue = "UninstallString"; }, 12, kInstalled, "RegSetValueExA failed, error 5 (0x00000005): UninstallString"},
    {"DisplayName refused", "", [] { makePackage(); refusedValue = "DisplayName"; },
     12, kInstalled, "RegSetValueExA failed, error 5 (0x00000005): DisplayName"},  // the entry's key was made before its first value
    // Registry records, removal phases: each fails on a record already gone, or where
    // the options step needs that record, on a refused removal. Removing the search
    // folders cannot fail.
    {"removal without the default value", "/U", [] { installFirst(); removeValue(kProductKey, nullptr); }, 0,
     kUninstaller, nullptr},
    {"removal of Name refused", "/U", [] { installFirst(); refusedValue = "Name"; },
     12, kUninstaller | kIdentity | kSearch | kMenuValue | kUninstallEntry, "RegDeleteValueA failed, error 5 (0x00000005): Name"},
    {"removal without DownloadDir", "/U", [] { installFirst(); removeValue(kProductKey, "DownloadDir"); }, 0,
     kUninstaller, nullptr},
    {"removal without the uninstall entry", "/U", [] { installFirst(); deleteTree(kUninstallKey); }, 0, kUninstaller, nullptr},
};

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearMachine();
        refusedValue.clear();
    }
    void TearDown() override { clearMachine(); }

    // Runs `options` with the seam in place and checks the exit code, "Setup", the
    // report and what the machine holds afterwards.
    void expectRun(const Fault& fault, bool silent)
    {
        std::string options = std::string(fault.options) + (silent ? " /S /L" : "");
        DeleteFileA(runLogPath().c_str());
        SCOPED_TRACE(std::string(fault.what) + ", options \"" + options + "\"");
        bool install = strstr(fault.options, "/U") == nullptr;
        writeResultValue("(earlier)");
        int code;
        {
            SeamGuard guard;
            platform.GetModuleFileNameA = packageModulePath;
            platform.MessageBoxA = answerMessage;
            platform.SetupPromptReboot = noRestartPrompt;
            platform.RegSetValueExA = refuseNamedValue;
            platform.RegDeleteValueA = refuseNamedRemoval;
            platform.SHFileOperationA = watchShell;
            shellFlags.clear();
            messages.clear();
            OptionsAnswer accept(IDOK);
            code = runSetup(options.c_str());
        }
        EXPECT_EQ(fault.code, code);
        char text[16];
        wsprintfA(text, "%04X", unsigned(code));
        EXPECT_EQ(text, readResultValue());
        // The removal question comes first; the report is the last message, if any.
        if (silent) {
            EXPECT_TRUE(messages.empty()) << messages[0].text;
        } else {
            ASSERT_FALSE(messages.empty());
            ShownMessage expected =
                fault.restart ? ShownMessage{"(restart prompt)", "", 0} : expectedReport(fault.code, install);
            EXPECT_EQ(expected.text, messages.back().text);
            EXPECT_EQ(expected.caption, messages.back().caption);
            EXPECT_EQ(expected.type, messages.back().type & MB_ICONMASK);
        }
        EXPECT_EQ(fault.stateAfter, machineState());
        // The silent pass logs: its cause and its result with the meaning.
        std::string log = readFile(runLogPath());
        if (silent) {
            char result[64];
            wsprintfA(result, "result: %04X, exit code %d: ", unsigned(code), code);
            EXPECT_NE(std::string::npos, log.find(result)) << log;
            if (fault.cause) {
                EXPECT_NE(std::string::npos, log.find(fault.cause)) << fault.cause << " in:\n" << log;
            }
        } else {
            EXPECT_EQ(kAbsent, log);
        }
        const FILEOP_FLAGS quiet = FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMATION;
        for (FILEOP_FLAGS flags : shellFlags)
            EXPECT_EQ(quiet, flags & quiet) << std::hex << flags;
    }

    // Every row of the table in one mode, interactive and silent.
    void expectFaults(bool install)
    {
        for (const Fault& fault : kFaults) {
            if ((strstr(fault.options, "/U") == nullptr) != install)
                continue;
            for (bool silent : {false, true}) {
                clearMachine();
                refusedValue.clear();
                fault.arrange();
                expectRun(fault, silent);
            }
        }
    }
};

TEST_F(FaultMatrix, InstallationFaultsWithTheirReportsAndTheMachineAfterwards)
{
    expectFaults(true);
}

TEST_F(FaultMatrix, RemovalFaultsWithTheirReportsAndTheMachineAfterwards)
{
    expectFaults(false);
}

TEST_F(FaultMatrix, EarlyExitsKeepTheEarlierResult)
{
    struct Exit {
        const char* what;
        const char* options;
        int button;         // pressed in the options dialog
        bool notAdmin;      // the token cannot be read
        bool noPrivilege;   // the take-ownership privilege is refused
        size_t messages;    // shown, the removal question included
        const char* logged; // the log's last line (/L is added)
    };
    const Exit exits[] = {
        {"cancelled options", "", IDCANCEL, false, false, 0, "not run (cancelled by the user)"},
        {"removal declined", "/U", IDOK, false, false, 1, "not run (cancelled by the user)"},
        {"not an administrator", "", IDOK, true, false, 1, "not run (not an administrator)"},
        {"not an administrator, silent", "/S", IDOK, true, false, 0, "not run (not an administrator)"},
        {"privilege refused", "", IDOK, false, true, 0, "not run (privilege refused)"},
        {"privilege refused, removal", "/S /U", IDOK, false, true, 0, "not run (privilege refused)"},
    };
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.what);
        clearMachine();
        if (strstr(exit.options, "/U"))
            installFirst();
        else
            makePackage();
        unsigned before = machineState();
        writeResultValue("(earlier)");
        SeamGuard guard;
        platform.GetModuleFileNameA = packageModulePath;
        platform.MessageBoxA = [](HWND, LPCSTR text, LPCSTR caption, UINT type) WINAPI -> int {
            messages.push_back({text, caption ? caption : "(default)", type});
            return IDNO;
        };
        if (exit.notAdmin)
            platform.OpenProcessToken = [](HANDLE, DWORD, PHANDLE) WINAPI -> BOOL { return FALSE; };
        if (exit.noPrivilege)
            platform.AdjustTokenPrivileges = [](HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                                PDWORD) WINAPI -> BOOL { return FALSE; };
        messages.clear();
        DeleteFileA(runLogPath().c_str());
        OptionsAnswer answer(exit.button);
        EXPECT_EQ(0, runSetup((std::string(exit.options) + " /L").c_str()));
        EXPECT_EQ("(earlier)", readResultValue());
        std::string log = readFile(runLogPath());
        EXPECT_NE(std::string::npos, log.find(std::string("result: none, exit code 0: ") + exit.logged)) << log;
        EXPECT_EQ(before, machineState());
        EXPECT_EQ(exit.messages, messages.size());
        if (exit.notAdmin && !messages.empty()) {
            EXPECT_EQ(resourceText(16), messages[0].text);
            EXPECT_EQ("(default)", messages[0].caption);
        }
    }
}

// The report as the real message box of setup.exe, run as its own process, shows it.
struct ShownReport {
    std::string caption;
    std::string text;
};

// Waits for a visible window of process `id` captioned `caption` that holds control
// `control`, as long as the process runs.
HWND waitForWindow(DWORD id, HANDLE process, const std::string& caption, int control)
{
    struct Search {
        DWORD id;
        const char* caption;
        int control;
        HWND found;
    } search = {id, caption.c_str(), control, nullptr};
    for (int i = 0; i < 1000 && !search.found && WaitForSingleObject(process, 20) == WAIT_TIMEOUT; ++i) {
        EnumWindows(
            [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
                auto* s = reinterpret_cast<Search*>(parameter);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                char title[260] = "";
                GetWindowTextA(window, title, sizeof title);
                if (owner == s->id && IsWindowVisible(window) && strcmp(title, s->caption) == 0 &&
                    GetDlgItem(window, s->control) != nullptr && !GetDlgItem(window, IDC_FOLDER) == (s->control != IDC_FOLDER)) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

void pressOk(HWND window)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Starts `setup` with `options`, accepts its options dialog when `acceptOptions`,
// and reads the report from its message box (the text control 0xFFFF), then closes it.
ShownReport runAndReadReport(const std::string& setup, const char* options, const std::string& caption,
                             bool acceptOptions)
{
    std::string line = "\"" + setup + "\" " + options;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return {"(not started)", ""};
    if (acceptOptions)
        pressOk(waitForWindow(process.dwProcessId, process.hProcess, resourceText(3), IDC_FOLDER));
    ShownReport report = {"(none)", ""};
    if (HWND box = waitForWindow(process.dwProcessId, process.hProcess, caption, IDOK)) {
        char text[300] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        report = {caption, text};
        pressOk(box);
    }
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return report;
}

std::string seen(const ShownReport& report)
{
    return report.caption + ": " + report.text;
}

TEST_F(FaultMatrix, TheProcessShowsTheReportInItsMessageBox)
{
    std::string failed = resourceText(7);
    failed.replace(failed.find("%s"), 2, resourceText(8));
    // Nothing beside setup.exe: initialization fails in both modes.
    makePackage("", "");
    std::string setup = package + "\\setup.exe";
    EXPECT_EQ(resourceText(3) + ": " + failed, seen(runAndReadReport(setup, "", resourceText(3), false)));
    EXPECT_EQ(resourceText(4) + ": " + failed, seen(runAndReadReport(setup, "/U", resourceText(4), false)));
    // A whole installation, its options accepted.
    makePackage();
    setup = package + "\\setup.exe";
    EXPECT_EQ(resourceText(3) + ": " + resourceText(6), seen(runAndReadReport(setup, "", resourceText(3), true)));
    EXPECT_EQ(kInstalled, machineState());
}

// A failed run says why through the debugger output: the failed call or the missing
// piece, what it concerns, and the result. A run that succeeds says nothing.
TEST_F(FaultMatrix, TheProcessTracesTheCauseOfAFailure)
{
    const struct {
        const char* what;
        const char* options;
        void (*arrange)();
        DWORD code;
        std::vector<std::string> causes;
    } cases[] = {
        {"no setup data", "/S", [] { makePackage("", ""); }, 8,
         {"setup data file not found", "\\ZemSetup.dat", "result: 0008"}},
        {"settings without GROUP", "/S", [] { makePackage("[INIT]\r\nTARGET=x\r\n"); }, 8,
         {"[INIT] GROUP", "ZemSetup.dat"}},
        {"descriptor that does not parse", "/S",
         [] { makeDescriptorPackage("<?xml version=\"1.0\"?><build><zem id=\"PKGMGR\">"); }, 8,
         {"not well-formed", "QUVOZEM.xml, at byte 28"}},
        {"missing source file", "/S", [] { makePackage(); DeleteFileA((package + "\\zemlibb.dll").c_str()); }, 9,
         {"SHFileOperationA (copy) failed", "GetFileAttributesA failed, error 2", "\\zemlibb.dll",
          "result: 0009 (copying files failed)"}},
        {"menu folder is a file", "/S",
         [] { makePackage(); makeFolders(specialFolder(CSIDL_COMMON_PROGRAMS)); writeFile(menuFolder(), "in the way"); },
         11, {"IPersistFile::Save failed", std::string(kName) + ".lnk", "(shortcuts failed)"}},
        // Not a failure: the run says why its files wait for the restart.
        {"removal with a file in use", "/S /U /R",
         [] {
             installFirst();
             lockedFile = CreateFileA((programFolder() + "\\zemliba.dll").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
         },
         3010, {"a file in use: the files wait for the restart", "\\zemliba.dll"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clearMachine();
        c.arrange();
        std::string trace;
        EXPECT_EQ(c.code, runTraced(package + "\\setup.exe", c.options, &trace));
        for (const std::string& cause : c.causes)
            EXPECT_NE(std::string::npos, trace.find(cause)) << cause << " in:\n" << trace;
    }
    clearMachine();
    makePackage();
    std::string trace;
    EXPECT_EQ(0u, runTraced(package + "\\setup.exe", "/S", &trace));
    EXPECT_EQ("", trace);
}

// The run record of an installation as the entry routine starts it, for the log's
// own functions called in the test's process.
SetupContext& installationRecord()
{
    static SetupContext run;
    ZeroMemory(&run, sizeof run);
    run.runFlags = 0x1;
    run.versionInfo.dwOSVersionInfoSize = sizeof run.versionInfo;
    GetVersionExA(&run.versionInfo);
    return run;
}

// The log of setup.exe run with /L: its header, a log in the way that changes nothing,
// the previous log kept once the log has grown, and one run's share bounded.
TEST_F(FaultMatrix, TheProcessWritesItsLogBoundedAndNeverFailsForIt)
{
    std::string path = runLogPath();
    std::string oldPath = runLogPath("PkgMgrSetup.old.log");
    DeleteFileA(path.c_str());
    DeleteFileA(oldPath.c_str());
    makePackage();
    EXPECT_EQ(0u, runProcess(package + "\\setup.exe", "/S /L"));
    std::string log = readFile(path);
    const std::vector<std::string> header = {"==== PkgMgr setup log, 20",
                                             "setup.exe version 1.0.0.0: " + package + "\\setup.exe",
                                             "command line: /S /L", " Windows ", "elevated: yes", "run: installation"};
    for (const std::string& line : header)
        EXPECT_NE(std::string::npos, log.find(line)) << line << " in:\n" << log;
    EXPECT_EQ(log.size() - strlen("result: 0000, exit code 0: installed\r\n"), log.rfind("result: "));
    EXPECT_EQ(kInstalled, machineState());

    // A folder where the log goes: the removal is not disturbed.
    DeleteFileA(path.c_str());
    CreateDirectoryA(path.c_str(), nullptr);
    EXPECT_EQ(0u, runProcess(windowsFolder() + "\\_zemu000.exe", "/S /U /L"));
    EXPECT_EQ(0u, machineState() & ~kUninstaller);
    RemoveDirectoryA(path.c_str());

    // A grown log becomes the previous one; a new one starts.
    std::string grown(kRunLogTurnBytes, 'x');
    writeFile(path, grown);
    writeFile(oldPath, "older");
    makePackage("", "");
    EXPECT_EQ(8u, runProcess(package + "\\setup.exe", "/S /L"));
    EXPECT_TRUE(grown == readFile(oldPath));
    log = readFile(path);
    EXPECT_EQ(strlen("00:00:00.000 "), log.find("==== PkgMgr setup log")) << log;
    EXPECT_NE(std::string::npos, log.find("setup data file not found")) << log;

    // Runs at the same time: every line whole, each run's header and result there.
    DeleteFileA(path.c_str());
    std::string setup = package + "\\setup.exe";
    for (int round = 0; round < 5; ++round) {
        PROCESS_INFORMATION runs[2] = {};
        for (PROCESS_INFORMATION& started : runs) {
            std::string line = "\"" + setup + "\" /S /L";
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                       &started));
        }
        for (PROCESS_INFORMATION& started : runs) {
            WaitForSingleObject(started.hProcess, 60000);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
    }
    log = readFile(path);
    size_t headers = 0, results = 0, lines = 0;
    for (size_t at = 0; at < log.size(); ++lines) {
        size_t end = log.find("\r\n", at);
        ASSERT_NE(std::string::npos, end) << "a line without its end at " << at;
        std::string line = log.substr(at, end - at);
        EXPECT_TRUE(line.size() > 13 && line[2] == ':' && line[5] == ':' && line[8] == '.' && line[12] == ' ' &&
                    line.find("==== PkgMgr", 13) == line.rfind("==== PkgMgr"))
            << line;
        headers += line.find("==== PkgMgr setup log") != std::string::npos;
        results += line.find("result: 0008, exit code 8: ") != std::string::npos;
        at = end + 2;
    }
    EXPECT_EQ(10u, headers);
    EXPECT_EQ(10u, results);

    // One run writes at most its share and then its result.
    DeleteFileA(path.c_str());
    SetupContext& run = installationRecord();
    openRunLog(run, "/L");
    for (int i = 0; i < 5000; ++i)
        traceCause("a cause of a hundred characters to fill the log ........................................",
                   "C:\\subject");
    closeRunLog(run, nullptr);
    log = readFile(path);
    EXPECT_GT(size_t(kRunLogRunBytes) + 200, log.size());
    EXPECT_NE(std::string::npos, log.find("left out"));
    EXPECT_EQ(log.size() - strlen("result: 0000, exit code 0: installed\r\n"), log.rfind("result: "));
    DeleteFileA(path.c_str());
    DeleteFileA(oldPath.c_str());
}

// The access list that a new file is created with, as "protected who:rights ..." (Wine
// keeps none, so the creation is watched): who is administrators, system, user (the
// running one) or other; rights all or the mask.
std::string createdFileAccess;

DWORD createdFileRights = 0;  // the access that the new file's handle asked for

HANDLE WINAPI recordFileCreation(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (disposition == CREATE_NEW) {
        createdFileRights = access;
        createdFileAccess = "inherited";
        BOOL present = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (security && GetSecurityDescriptorDacl(security->lpSecurityDescriptor, &present, &list, &defaulted) &&
            present && list) {
            GetSecurityDescriptorControl(security->lpSecurityDescriptor, &control, &revision);
            createdFileAccess = control & SE_DACL_PROTECTED ? "protected" : "open";
            BYTE sids[3][SECURITY_MAX_SID_SIZE];
            DWORD size = sizeof sids[0];
            CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sids[0], &size);
            size = sizeof sids[1];
            CreateWellKnownSid(WinLocalSystemSid, nullptr, sids[1], &size);
            HANDLE token = nullptr;
            BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
            GetTokenInformation(token, TokenUser, user, sizeof user, &size);
            CloseHandle(token);
            CopySid(SECURITY_MAX_SID_SIZE, sids[2], reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
            const char* names[] = {"administrators", "system", "user"};
            for (WORD i = 0; i < list->AceCount; ++i) {
                ACCESS_ALLOWED_ACE* entry = nullptr;
                GetAce(list, i, reinterpret_cast<void**>(&entry));
                std::string who = "other";
                for (int n = 2; n >= 0; --n) {
                    if (EqualSid(&entry->SidStart, sids[n]))
                        who = names[n];
                }
                createdFileAccess += " " + who + ":" +
                                     (entry->Mask == GENERIC_ALL || entry->Mask == FILE_ALL_ACCESS
                                          ? std::string("all")
                                          : std::to_string(entry->Mask));
            }
        }
    }
    return CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

// What a standard user can put in the temporary folder of the system account does not
// redirect the log: a link under the log's name or the previous log's, another user's
// file or a file with a second name (owner and count faked: Wine keeps neither), a held
// mutex, line breaks in a text. The run never fails for any of them.
TEST_F(FaultMatrix, TheProcessLogNeverActsThroughALinkOrForAnotherUser)
{
    std::string path = runLogPath();
    std::string oldPath = runLogPath("PkgMgrSetup.old.log");
    const std::string victim = "C:\\PkgMgr victim";
    DeleteFileA(path.c_str());
    DeleteFileA(oldPath.c_str());
    removeTree(victim);
    makeFolders(victim);
    writeFile(victim + "\\protected.txt", "protected");
    makePackage();
    ASSERT_TRUE(makeLink(path, victim + "\\protected.txt"));
    EXPECT_EQ(0u, runProcess(package + "\\setup.exe", "/S /L"));
    EXPECT_EQ(kInstalled, machineState());
    EXPECT_EQ("protected", readFile(victim + "\\protected.txt"));
    removeLink(path);

    // A grown log is set aside only onto a name that is no link.
    writeFile(path, std::string(kRunLogTurnBytes, 'x'));
    ASSERT_TRUE(makeLink(oldPath, victim + "\\protected.txt"));
    EXPECT_EQ(0u, runProcess(windowsFolder() + "\\_zemu000.exe", "/S /U /L"));
    EXPECT_EQ("protected", readFile(victim + "\\protected.txt"));
    EXPECT_TRUE(exists(oldPath));
    removeLink(oldPath);
    DeleteFileA(path.c_str());

    // /L=path puts the log there, as safely, with the slashes of the path read as its own;
    // a path that is no full path of a file leaves it in the temporary folder, which says so.
    const std::string named = victim + "\\setup.log";
    EXPECT_EQ(0u, runProcess(package + "\\setup.exe", "/S \"/L=C:/PkgMgr victim/setup.log\" /W"));
    EXPECT_NE(std::string::npos, readFile(named).find("result: 0000, exit code 0: installed")) << readFile(named);
    EXPECT_EQ(std::string::npos, readFile(named).find("this log is written instead")) << readFile(named);
    ASSERT_TRUE(makeLink(victim + "\\linked.log", victim + "\\protected.txt"));
    EXPECT_EQ(0u, runProcess(windowsFolder() + "\\_zemu000.exe", ("/S /U /L=\"" + victim + "\\linked.log\"").c_str()));
    EXPECT_EQ("protected", readFile(victim + "\\protected.txt"));
    removeLink(victim + "\\linked.log");
    EXPECT_EQ(8u, runProcess(package + "\\setup.exe", "/S /U /L=relative.log"));
    EXPECT_NE(std::string::npos, readFile(path).find("is no full path of a file")) << readFile(path);
    DeleteFileA(path.c_str());

    SetupContext& run = installationRecord();
    SeamGuard guard;
    // A new log: only the administrators, the system and the running user may use it.
    platform.CreateFileA = recordFileCreation;
    openRunLog(run, "/L");
    closeRunLog(run, nullptr);
    EXPECT_EQ("protected administrators:all system:all user:all", createdFileAccess);
    DeleteFileA(path.c_str());
    fakeOwnersAndLinks();
    const struct {
        const char* what;
        FakeOwner owner;
        DWORD links;
    } refused[] = {{"another user's file", FakeOwner::otherUser, 0},
                   {"an owner that cannot be read", FakeOwner::unreadable, 0},
                   {"a second name", FakeOwner::administrators, 2}};
    for (const auto& c : refused) {
        writeFile(path, "planted\r\n");
        char longPath[MAX_PATH] = "";
        GetLongPathNameA(path.c_str(), longPath, MAX_PATH);
        fakedNames = {{longPath, c.owner, c.links}};
        openRunLog(run, "/L");
        traceCause("a line", "C:\\subject");
        closeRunLog(run, nullptr);
        EXPECT_EQ("planted\r\n", readFile(path)) << c.what;
    }
    fakedNames.clear();
    DeleteFileA(path.c_str());

    // Another process holds the turn mutex: the run waits a bounded time in all.
    std::atomic<int> holding(0);
    std::thread holder([&holding] {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, "PkgMgrSetupLog");
        holding = 1;
        while (holding == 1)
            Sleep(10);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    while (holding == 0)
        Sleep(10);
    DWORD started = GetTickCount();
    openRunLog(run, "/L");
    for (int i = 0; i < 20; ++i)
        traceCause("forged\r\n00:00:00.000 result: 0000, exit code 0: installed", "C:\\subject");
    closeRunLog(run, nullptr);
    DWORD waited = GetTickCount() - started;
    holding = 2;
    holder.join();
    EXPECT_GT(7000u, waited);
    std::string log = readFile(path);
    EXPECT_NE(std::string::npos, log.find("forged\\x0D\\x0A00:00:00.000 result: 0000")) << log;
    EXPECT_EQ(std::string::npos, log.find("\r\n00:00:00.000 result")) << "no forged line: " << log;
    DeleteFileA(path.c_str());
    removeTree(victim);
}

// What a user who can change the folder of a /L=path log, or own a file beside it, can
// no longer do: have the run leave a file elsewhere through a link, or keep the log from
// being set aside. Another run that has the log open does not keep it from being set
// aside either, and the previous log is replaced in one step.
TEST_F(FaultMatrix, TheProcessLogActsOnWhatItCheckedAndSetsAsideWithoutLoss)
{
    const std::string path = runLogPath();
    const std::string oldPath = runLogPath("PkgMgrSetup.old.log");
    const std::string victim = "C:\\PkgMgr victim";
    const std::string users = victim + "\\users";  // a folder that another user can change
    DeleteFileA(path.c_str());
    DeleteFileA(oldPath.c_str());
    removeTree(victim);
    makeFolders(users);
    makeFolders(victim + "\\target");
    SetupContext& run = installationRecord();
    SeamGuard guard;
    fakeOwnersAndLinks();

    // /L=path in another user's folder, or on a network share: the log of the temporary
    // folder says so, and nothing is made there. Through an administrator's link the
    // log is made where the link leads.
    ASSERT_TRUE(makeLink(victim + "\\adminLink", victim + "\\target"));
    const struct {
        std::string given;
        std::string made;
        std::string written;
    } refused[] = {{users + "\\y.log", users + "\\y.log", path},
                   {"\\\\pkgmgr-nohost\\share\\y.log", "", path},
                   {victim + "\\adminLink\\y.log", path, victim + "\\target\\y.log"}};
    for (const auto& c : refused) {
        fakedNames = {{users, FakeOwner::otherUser, 0}};
        openRunLog(run, ("/L=" + c.given).c_str());
        traceCause("a line", "C:\\subject");
        closeRunLog(run, nullptr);
        fakedNames.clear();
        if (!c.made.empty()) {
            EXPECT_FALSE(exists(c.made));
        }
        EXPECT_NE(std::string::npos, readFile(c.written).find(c.written == path ? "lies on a network share, or in a "
                                                                                  "folder that another user"
                                                                                : "a line: C:\\subject"))
            << c.given << ": " << readFile(c.written);
        DeleteFileA(c.written.c_str());
    }
    removeLink(victim + "\\adminLink");

    // A new file reached through a link (the folder swapped after its check) goes again.
    ASSERT_TRUE(makeLink(victim + "\\linked", victim + "\\target"));
    EXPECT_EQ(INVALID_HANDLE_VALUE, createPrivateFile((victim + "\\linked\\y.log").c_str(), FILE_APPEND_DATA, 0));
    EXPECT_EQ(Names{}, folderContents(victim + "\\target"));
    removeLink(victim + "\\linked");

    // The log's handle only appends: each line lands whole at the end.
    platform.CreateFileA = recordFileCreation;
    openRunLog(run, "/L");
    closeRunLog(run, nullptr);
    platform.CreateFileA = CreateFileA;
    EXPECT_TRUE((createdFileRights & FILE_APPEND_DATA) && !(createdFileRights & (FILE_WRITE_DATA | GENERIC_WRITE)))
        << std::hex << createdFileRights;
    DeleteFileA(path.c_str());

    // Another run has the log open while a run finds it grown: it is set aside all the
    // same, replacing the previous log in one rename.
    const std::string grown(kRunLogTurnBytes, 'x');
    makePackage("", "");
    writeFile(oldPath, "older");
    openRunLog(run, "/L");  // this process's run holds the log
    HANDLE grow = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteFile(grow, grown.data(), DWORD(grown.size()), &written, nullptr);
    CloseHandle(grow);
    EXPECT_EQ(8u, runProcess(package + "\\setup.exe", "/S /L"));
    closeRunLog(run, nullptr);
    EXPECT_NE(std::string::npos, readFile(oldPath).find(grown)) << "the grown log was set aside";
    EXPECT_EQ(std::string::npos, readFile(path).find("xxxx"));
    EXPECT_NE(std::string::npos, readFile(path).find("result: 0008")) << readFile(path);
    // A previous log of another user's does not keep the log from being set aside.
    writeFile(path, grown);
    writeFile(oldPath, "older");
    char oldLong[MAX_PATH] = "";
    GetLongPathNameA(oldPath.c_str(), oldLong, MAX_PATH);
    fakedNames = {{oldLong, FakeOwner::otherUser, 0}};
    openRunLog(run, "/L");
    closeRunLog(run, nullptr);
    fakedNames.clear();
    EXPECT_TRUE(grown == readFile(oldPath));
    EXPECT_EQ(std::string::npos, readFile(path).find("xxxx"));
    DeleteFileA(path.c_str());
    DeleteFileA(oldPath.c_str());
    removeTree(victim);
}

// Systems the program refuses, each in a prefix set to that Windows version.
class OldSystem : public FaultMatrix {};

TEST_F(OldSystem, UnsupportedSystemRefusesBothModes)
{
    const Fault faults[] = {
        {"installation", "", [] { makePackage(); }, 15, 0, "this Windows is not supported"},
        {"removal", "/U", [] { makePackage(); }, 15, 0, "this Windows is not supported"},
    };
    for (const Fault& fault : faults) {
        for (bool silent : {false, true}) {
            fault.arrange();
            expectRun(fault, silent);
        }
    }
}

TEST_F(OldSystem, ServicePackTooOldRefusesTheInstallationOnly)
{
    Fault refused = {"installation", "", [] { makePackage(); }, 13, 0, "needs Service Pack 4"};
    for (bool silent : {false, true}) {
        refused.arrange();
        expectRun(refused, silent);
    }
    // Removal passes the gate: with nothing installed it fails on the missing records.
    Fault removal = {"removal", "/U", [] { makePackage(); }, 8, 0, "nothing to remove"};
    removal.arrange();
    expectRun(removal, true);
}

}  // namespace
