// Whole installations and removals: setup.exe started as its own process on a full
// setup folder, the machine checked afterwards. Runs in a prefix of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "actions/machine.h"
#include "setup/run_test_support.h"

namespace {

const std::string kProductKey = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltranoSoftwareInstaller";
const char* const kOtherFiles[] = {"ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
                                   "zemlibb.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};

std::string specialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

// A complete setup folder in settings-file mode for release `name`, version `version`.
std::string makePackage(const std::string& folder, const std::string& name, const std::string& version)
{
    removeTree(folder);
    makeFolders(folder);
    CopyFileA((binFolder() + "\\setup.exe").c_str(), (folder + "\\setup.exe").c_str(), FALSE);
    CopyFileA((binFolder() + "\\PkgMgr.exe").c_str(), (folder + "\\PkgMgr").c_str(), FALSE);
    CopyFileA((binFolder() + "\\unicows.dll").c_str(), (folder + "\\unicows.dll").c_str(), FALSE);
    for (const char* file : kOtherFiles)
        writeFile(folder + "\\" + file, std::string(file) + " payload\r\n");
    writeFile(folder + "\\ZemSetup.dat",
              "[INIT]\r\nTARGET=PkgMgr Test\r\nGROUP=PkgMgr Test\r\nDEFAULTSEARCH=C:\\PkgMgr Test Search\r\n"
              "DOWNLOAD=\\PkgMgr Test Downloads\r\n[RADAR]\r\nFILE=radar\r\n");
    writeFile(folder + "\\PkgMgr.zem",
              "[RELEASE]\r\nNAME=" + name + "\r\nVERSION=" + version + "\r\n[ZEM]\r\nXRELEASE=1\r\n");
    return folder + "\\setup.exe";
}

// Starts the sample application holding the product's mutex and window for `milliseconds`.
PROCESS_INFORMATION startApplication(unsigned milliseconds)
{
    std::string hold = "\"" + binFolder() + "\\PkgMgr.exe\" /hold \"PkgMgr Test\" /for " +
                       std::to_string(milliseconds);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION application = {};
    if (CreateProcessA(nullptr, &hold[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &application)) {
        for (int i = 0; i < 200 && !FindWindowA(nullptr, "PkgMgr Test"); ++i)
            Sleep(25);
    }
    return application;
}

void endApplication(PROCESS_INFORMATION& application)
{
    TerminateProcess(application.hProcess, 0);
    WaitForSingleObject(application.hProcess, 5000);
    CloseHandle(application.hThread);
    CloseHandle(application.hProcess);
}

class FullRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        programFolder_ = specialFolder(CSIDL_PROGRAM_FILES) + "\\PkgMgr Test";
        menuFolder_ = specialFolder(CSIDL_COMMON_PROGRAMS) + "\\PkgMgr Test";
        clearPendingOperations();
    }

    DWORD run(const std::string& exe, const char* options)
    {
        deleteResultValue();
        DWORD code = runProcess(exe, options);
        char text[16];
        wsprintfA(text, "%04X", unsigned(code));
        EXPECT_EQ(text, readResultValue()) << options;
        return code;
    }

    void expectInstalled(const std::string& name, const std::string& version)
    {
        EXPECT_EQ(textValue(programFolder_), storedValue(kProductKey, "ProgDir"));
        EXPECT_EQ(textValue(name), storedValue(kProductKey, "Name"));
        EXPECT_EQ(textValue(version), storedValue(kProductKey, "Version"));
        EXPECT_EQ(textValue(menuFolder_), storedValue(kProductKey, "MenuDir"));
        EXPECT_EQ(textValue(name), storedValue(kUninstallKey, "DisplayName"));
        EXPECT_EQ(readFile(binFolder() + "\\PkgMgr.exe"), readFile(programFolder_ + "\\PkgMgr.exe"));
        EXPECT_EQ(readFile(binFolder() + "\\setup.exe"), readFile(windowsFolder() + "\\_zemu000.exe"));
        EXPECT_TRUE(exists(menuFolder_ + "\\" + name + ".lnk"));
        EXPECT_TRUE(keyExists(kProductKey + "\\SearchPath\\C:\\PkgMgr Test Search"));
    }

    std::string programFolder_;
    std::string menuFolder_;
};

TEST_F(FullRun, SilentInstallationAndRemoval)
{
    std::string setup = makePackage("C:\\pkg-full", "PkgMgr Test", "1.03.0000");
    EXPECT_EQ(0u, run(setup, "/S"));
    expectInstalled("PkgMgr Test", "1.03.0000");
    EXPECT_TRUE(pendingOperations().empty());
    // What the list of programs and package managers read: the size is that of the
    // files in the program folder and the uninstaller, in kilobytes rounded up.
    uint64_t bytes = 0;
    for (const std::string& file : {programFolder_ + "\\*", windowsFolder() + "\\_zemu000.exe"}) {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(file.c_str(), &found);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                bytes += found.nFileSizeLow;
        }
        FindClose(find);
    }
    std::string uninstaller = windowsFolder() + "\\_zemu000.exe";
    EXPECT_EQ(textValue("QUVO"), storedValue(kUninstallKey, "Publisher"));
    EXPECT_EQ(textValue(programFolder_), storedValue(kUninstallKey, "InstallLocation"));
    EXPECT_EQ(numberValue(DWORD((bytes + 1023) / 1024)), storedValue(kUninstallKey, "EstimatedSize"));
    EXPECT_EQ(textValue("\"" + uninstaller + "\" /S /U"), storedValue(kUninstallKey, "QuietUninstallString"));
    EXPECT_EQ(numberValue(1), storedValue(kUninstallKey, "NoModify"));
    EXPECT_EQ(numberValue(1), storedValue(kUninstallKey, "NoRepair"));

    // The quiet uninstall command just read.
    EXPECT_EQ(0u, run(uninstaller, "/S /U"));
    EXPECT_FALSE(exists(programFolder_ + "\\PkgMgr.exe"));
    EXPECT_FALSE(exists(menuFolder_));
    EXPECT_EQ(kAbsent, storedValue(kProductKey, "ProgDir").second);
    EXPECT_FALSE(keyExists(kUninstallKey));
    EXPECT_FALSE(keyExists(kProductKey + "\\SearchPath"));
    // The uninstaller that ran cannot delete itself: it goes at the next restart.
    Operations pending = pendingOperations();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ(windowsFolder() + "\\_zemu000.exe", pending[0].first);
}

TEST_F(FullRun, ReinstallUnderANewNameMovesTheShortcuts)
{
    EXPECT_EQ(0u, run(makePackage("C:\\pkg-old", "PkgMgr Test Old", "1.02.0000"), "/S"));
    EXPECT_TRUE(exists(menuFolder_ + "\\PkgMgr Test Old.lnk"));
    EXPECT_EQ(0u, run(makePackage("C:\\pkg-new", "PkgMgr Test", "1.03.0000"), "/S"));
    expectInstalled("PkgMgr Test", "1.03.0000");
    EXPECT_FALSE(exists(menuFolder_ + "\\PkgMgr Test Old.lnk"));
    EXPECT_EQ(0u, run(windowsFolder() + "\\_zemu000.exe", "/S /U"));
}

TEST_F(FullRun, InstallationWhileTheApplicationRunsIsFinishedAtRestart)
{
    std::string setup = makePackage("C:\\pkg-running", "PkgMgr Test", "1.03.0000");
    EXPECT_EQ(0u, run(setup, "/S"));
    PROCESS_INFORMATION application = startApplication(60000);
    ASSERT_NE(nullptr, application.hProcess);
    clearPendingOperations();

    EXPECT_EQ(0u, run(setup, "/S"));
    // The installed files stay in use; each is replaced by its staged copy at restart,
    // and the emptied staging folder goes last.
    Operations pending = pendingOperations();
    ASSERT_EQ(25u, pending.size());  // twelve files, two operations each, and the folder
    EXPECT_EQ("", pending.back().second);
    EXPECT_EQ(pending.back().first + "\\PkgMgr.exe", pending[3].first);
    bool replacesApplication = false;
    for (const auto& operation : pending)
        replacesApplication |= operation.second == programFolder_ + "\\PkgMgr.exe";
    EXPECT_TRUE(replacesApplication);

    endApplication(application);
    clearPendingOperations();
    EXPECT_EQ(0u, run(windowsFolder() + "\\_zemu000.exe", "/S /U"));
}

// With /R a run that leaves its work to the restart ends 3010, the code deployment tools
// read as "succeeded, restart needed"; "Setup" still says 0000. Without a restart to
// wait for, /R changes nothing, nor does the uninstaller's own deletion at the restart.
TEST_F(FullRun, RestartCodeOptionEndsARunThatWaitsForTheRestartWith3010)
{
    std::string setup = makePackage("C:\\pkg-restart", "PkgMgr Test", "1.03.0000");
    std::string uninstaller = windowsFolder() + "\\_zemu000.exe";
    std::string log = tempFolder() + "PkgMgrSetup.log";
    EXPECT_EQ(0u, run(setup, "/S /R"));
    PROCESS_INFORMATION application = startApplication(60000);
    ASSERT_NE(nullptr, application.hProcess);
    clearPendingOperations();

    // An installation, then a removal, while the application runs.
    const std::pair<std::string, const char*> runs[] = {{setup, "/S /R /L"}, {uninstaller, "/S /U /r /L"}};
    for (const auto& [exe, line] : runs) {
        deleteResultValue();
        EXPECT_EQ(DWORD(ERROR_SUCCESS_REBOOT_REQUIRED), runProcess(exe, line)) << line;
        EXPECT_EQ("0000", readResultValue()) << line;
        EXPECT_FALSE(pendingOperations().empty()) << line;
        std::string text = readFile(log);
        EXPECT_NE(std::string::npos, text.find("result: 0000, exit code 3010: ", text.rfind("command line: ")))
            << line;
    }
    EXPECT_FALSE(keyExists(kUninstallKey)) << "the removal's records went at once";

    endApplication(application);
    clearPendingOperations();
    EXPECT_EQ(0u, run(setup, "/S /R"));
    EXPECT_EQ(0u, run(uninstaller, "/S /U /R"));
    EXPECT_EQ(1u, pendingOperations().size()) << "the uninstaller's deletion waits for the restart";
}

TEST_F(FullRun, WaitForTheApplicationThenOpenIt)
{
    std::string setup = makePackage("C:\\pkg-open", "PkgMgr Test", "1.03.0000");
    EXPECT_EQ(0u, run(setup, "/S"));
    std::string started = tempFolder() + "PkgMgr-started.txt";
    DeleteFileA(started.c_str());
    PROCESS_INFORMATION application = startApplication(1500);
    ASSERT_NE(nullptr, application.hProcess);
    clearPendingOperations();

    DWORD start = GetTickCount();
    EXPECT_EQ(0u, run(setup, "/S /O"));
    EXPECT_GE(GetTickCount() - start, 1000u) << "the run waits until the application lets go";
    EXPECT_TRUE(pendingOperations().empty()) << "the application had ended: files replaced at once";
    // The installed application was opened through its menu shortcut.
    for (int i = 0; i < 200 && !exists(started); ++i)
        Sleep(25);
    EXPECT_TRUE(exists(started));
    WaitForSingleObject(application.hProcess, 5000);
    CloseHandle(application.hThread);
    CloseHandle(application.hProcess);
    EXPECT_EQ(0u, run(windowsFolder() + "\\_zemu000.exe", "/S /U"));
}

// `a` against `b` as deployment tools compare versions: part by part, as numbers.
int compareVersions(const std::string& a, const std::string& b)
{
    for (size_t i = 0, j = 0; i < a.size() || j < b.size(); ++i, ++j) {
        unsigned long x = 0;
        unsigned long y = 0;
        for (; i < a.size() && a[i] != '.'; ++i)
            x = x * 10 + unsigned(a[i] - '0');
        for (; j < b.size() && b[j] != '.'; ++j)
            y = y * 10 + unsigned(b[j] - '0');
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

// The detection rule of docs/deploying.md applied to the entry that an installation leaves: the key
// in the view of setup.exe's own architecture (the 32-bit view for the shipping build,
// which a 64-bit deployment tool reads only when the rule says so), "DisplayVersion"
// compared as a version; and what winget matches: the entry whose DisplayName and
// Publisher the manifest names, under the key name that it gives as the product code.
TEST_F(FullRun, TheGuidesDetectionRuleFindsTheInstallationAndNothingAfterTheRemoval)
{
    const REGSAM ruleView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::string list = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    std::string setup = makePackage("C:\\pkg-detect", "PkgMgr Test", "1.10.0000");
    ASSERT_EQ(0u, run(setup, "/S"));
    std::string version = storedValue(kUninstallKey, "DisplayVersion", ruleView).second.c_str();
    EXPECT_EQ("1.10.0000", version);
    EXPECT_EQ(0, compareVersions(version, "1.10"));
    EXPECT_GT(compareVersions(version, "1.9.0000"), 0) << "as text it would be older";
    EXPECT_LT(compareVersions(version, "1.10.0001"), 0);
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        EXPECT_FALSE(keyExists(kUninstallKey, KEY_WOW64_64KEY)) << "a rule without the 32-bit view misses it";
    }

    std::vector<std::string> matches;
    HKEY uninstall;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, list.c_str(), 0, KEY_READ | ruleView, &uninstall));
    char name[256];
    for (DWORD i = 0, length = sizeof name;
         RegEnumKeyExA(uninstall, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name) {
        std::string entry = list + "\\" + name;
        if (storedValue(entry, "DisplayName", ruleView) == textValue("PkgMgr Test") &&
            storedValue(entry, "Publisher", ruleView) == textValue("QUVO"))
            matches.push_back(name);
    }
    RegCloseKey(uninstall);
    EXPECT_EQ((std::vector<std::string>{"VeltranoSoftwareInstaller"}), matches);

    EXPECT_EQ(0u, run(windowsFolder() + "\\_zemu000.exe", "/S /U"));
    EXPECT_FALSE(keyExists(kUninstallKey, ruleView));
}

// ---- The shipping build on a 64-bit Windows, where it runs under WoW64 ----

class FullRunWow64 : public FullRun {};

// A key under HKEY_LOCAL_MACHINE "Software" as 64-bit programs, and the 64-bit list
// of installed programs, find a 32-bit program's key.
std::string seenFrom64Bit(const std::string& key)
{
    return "Software\\Wow6432Node" + key.substr(strlen("Software"));
}

TEST_F(FullRunWow64, RecordsFilesAndPendingOperationsAreWhereA64BitWindowsLooks)
{
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64) && wow64) << "runs only under WoW64";
    const std::string currentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
    std::string folder32 = storedValue(currentVersion, "ProgramFilesDir (x86)", KEY_WOW64_64KEY).second.c_str();
    std::string folder64 = storedValue(currentVersion, "ProgramFilesDir", KEY_WOW64_64KEY).second.c_str();
    ASSERT_NE(kAbsent, folder32);
    ASSERT_NE(folder64, folder32);
    EXPECT_EQ(folder32 + "\\PkgMgr Test", programFolder_);

    // The records a 32-bit program reads (this test is one) are in the 32-bit view,
    // which 64-bit programs and the system's list of installed programs find under
    // "Wow6432Node"; the 64-bit view's own keys stay untouched.
    struct Record {
        std::string key;
        const char* name;
    };
    const Record records[] = {
        {kProductKey, "ProgDir"},     {kProductKey, "Name"},          {kProductKey, "Version"},
        {kProductKey, "MenuDir"},     {kProductKey, "DownloadDir"},   {kProductKey, "InternetFunction"},
        {kProductKey, nullptr},       {kUninstallKey, "DisplayName"}, {kUninstallKey, "UninstallString"},
        {kProductKey + "\\SearchPath\\C:\\PkgMgr Test Search", nullptr},
    };
    std::string setup = makePackage("C:\\pkg-wow64", "PkgMgr Test", "1.03.0000");
    EXPECT_EQ(0u, run(setup, "/S"));
    expectInstalled("PkgMgr Test", "1.03.0000");
    EXPECT_EQ("0000", readResultValue(KEY_WOW64_64KEY)) << "HKEY_CURRENT_USER is one view";
    EXPECT_FALSE(exists(folder64 + "\\PkgMgr Test"));
    for (const Record& record : records) {
        StoredValue value = storedValue(record.key, record.name);
        EXPECT_NE(kAbsent, value.second) << record.key << " " << (record.name ? record.name : "(default)");
        EXPECT_EQ(value, storedValue(seenFrom64Bit(record.key), record.name, KEY_WOW64_64KEY)) << record.key;
        EXPECT_FALSE(keyExists(record.key, KEY_WOW64_64KEY)) << record.key;
    }

    // Files in use are replaced at the next restart, which the 64-bit system carries
    // out from the shared "System" key, with paths that need no redirection.
    PROCESS_INFORMATION application = startApplication(60000);
    ASSERT_NE(nullptr, application.hProcess);
    clearPendingOperations();
    EXPECT_EQ(0u, run(setup, "/S"));
    Operations pending = pendingOperations(KEY_WOW64_64KEY);
    EXPECT_EQ(25u, pending.size());
    EXPECT_EQ(pendingOperations(), pending);
    auto within = [](const std::string& path, const std::string& folder) {
        return lstrcmpiA(path.substr(0, folder.size()).c_str(), folder.c_str()) == 0;
    };
    for (const auto& operation : pending)
        for (const std::string& path : {operation.first, operation.second})
            EXPECT_TRUE(path.empty() || within(path, programFolder_ + "\\") ||
                        within(path, windowsFolder() + "\\") || within(path, tempFolder()))
                << path;
    endApplication(application);
    clearPendingOperations();

    // The removal takes the records from the same view ("InternetFunction" stays on purpose).
    EXPECT_EQ(0u, run(windowsFolder() + "\\_zemu000.exe", "/S /U"));
    for (const Record& record : records)
        EXPECT_EQ(storedValue(record.key, record.name),
                  storedValue(seenFrom64Bit(record.key), record.name, KEY_WOW64_64KEY))
            << record.key;
    EXPECT_EQ(kAbsent, storedValue(kProductKey, "ProgDir").second);
    EXPECT_FALSE(keyExists(seenFrom64Bit(kUninstallKey), KEY_WOW64_64KEY));
    EXPECT_FALSE(exists(programFolder_ + "\\PkgMgr.exe"));
}

}  // namespace
