// File deployment and removal on the real file system, with real pending restart
// operations (NT family) and a real WININIT.INI (Windows 9x emulation).
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "actions/files.h"
#include "actions/machine.h"
#include "platform/narrow_paths.h"
#include "platform/seam.h"
#include "platform/trace.h"
#include "setupdata/setup_data.h"

namespace {

const std::string kPackage = "C:\\actions\\package";
const std::string kRoot = "C:\\actions\\target";
const std::string kFolder = kRoot + "\\PkgMgr";

// One mode's files: source in the setup folder, installed name. The first file is the
// uninstaller in the Windows folder, the others go into the program folder.
struct FileList {
    int descriptor;
    const char* sources[12];
    const char* targets[12];
    const char* otherSettings;  // the installed settings file of the other mode
};
#define COMMON_NAMES "ZemSetup.dat", "ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", \
    "zemliba.dll", "zemlibb.dll", "unicows.dll", "ZEMNTDEV.sys", "ZemFlash.dll"
const FileList kSettingsMode = {
    0, {"setup.exe", "PkgMgr", "PkgMgr.zem", COMMON_NAMES},
    {"_zemu000.exe", "PkgMgr.exe", "ZemSetup.ini", COMMON_NAMES}, "ZemSetup.xml"};
const FileList kDescriptorMode = {
    1, {"setup.exe", "PkgMgr", "QUVOZEM.xml", COMMON_NAMES},
    {"_zemu000.exe", "PkgMgr.exe", "ZemSetup.xml", COMMON_NAMES}, "ZemSetup.ini"};
#undef COMMON_NAMES
const FileList* const kModes[] = {&kSettingsMode, &kDescriptorMode};

std::string installed(const FileList& list, int i, const std::string& folder = kFolder)
{
    return i == 0 ? windowsFolder() + "\\_zemu000.exe" : folder + "\\" + list.targets[i];
}

// The run's own staging folder under the temporary folder; "" when none is left.
std::string stagingFolder()
{
    Names found;
    for (const std::string& name : folderContents(tempFolder().substr(0, tempFolder().size() - 1))) {
        if (name.rfind("PkgMgrSetup-", 0) == 0)
            found.push_back(tempFolder() + name);
    }
    EXPECT_GE(1u, found.size());
    return found.empty() ? "" : found[0];
}

std::string staged(const FileList& list, int i)
{
    return stagingFolder() + "\\" + list.targets[i];
}

std::string newContent(const FileList& list, int i)
{
    return readFile(kPackage + "\\" + list.sources[i]);
}

std::string oldContent(const FileList& list, int i)
{
    return std::string("old ") + list.targets[i];
}

Names programFiles(const FileList& list, Names extra = {})
{
    extra.insert(extra.end(), list.targets + 1, list.targets + 12);
    std::sort(extra.begin(), extra.end());
    return extra;
}

// An earlier installation, the uninstaller included.
void installOldFiles(const FileList& list, const std::string& folder = kFolder)
{
    makeFolders(folder);
    for (int i = 0; i < 12; ++i)
        writeFile(installed(list, i, folder), oldContent(list, i));
}

void expectFiles(const FileList& list, std::string (*content)(const FileList&, int))
{
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(content(list, i), readFile(installed(list, i))) << list.targets[i];
}

DWORD WINAPI packageModulePath(HMODULE, LPSTR path, DWORD size)
{
    lstrcpynA(path, (kPackage + "\\setup.exe").c_str(), int(size));
    return DWORD(strlen(path));
}

class Deployment : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // This build's setup.exe and application beside small distinct payloads.
        makeFolders(kPackage);
        CopyFileA((moduleFolder() + "\\setup.exe").c_str(), (kPackage + "\\setup.exe").c_str(), 0);
        CopyFileA((moduleFolder() + "\\PkgMgr.exe").c_str(), (kPackage + "\\PkgMgr").c_str(), 0);
        for (const FileList* list : kModes) {
            for (int i = 2; i < 12; ++i)
                writeFile(kPackage + "\\" + list->sources[i], std::string("new ") + list->sources[i]);
        }
    }

    void SetUp() override
    {
        // deployFiles takes its sources from the folder of the running program.
        platform.GetModuleFileNameA = packageModulePath;
        removeTree(kRoot);
        makeFolders(kRoot);
        for (std::string folder = stagingFolder(); !folder.empty(); folder = stagingFolder())
            removeTree(folder);
        DeleteFileA(installed(kSettingsMode, 0).c_str());
        clearPendingOperations();
    }

    void TearDown() override
    {
        platform = saved_;
        descriptorMode = 0;
    }

    // The run's restart flag afterwards is left in restartAfter.
    static int deploy(const FileList& list, uint32_t runFlags, int restartNeeded,
                      const std::string& folder = kFolder)
    {
        descriptorMode = list.descriptor;
        restartAfter = restartNeeded;
        return deployFiles(nullptr, folder.c_str(), &restartAfter, runFlags);
    }
    static int restartAfter;

private:
    PlatformSeam saved_ = platform;
};
int Deployment::restartAfter;

// --- NT family ---

using FileDeployment = Deployment;

TEST_F(FileDeployment, InstallCreatesTheFolderAndFillsIt)
{
    for (const FileList* list : kModes) {
        SCOPED_TRACE(list->descriptor);
        SetUp();
        std::string folder = kRoot + "\\one\\two\\three";  // three levels below kRoot
        ASSERT_EQ(1, deploy(*list, 1, 0, folder));
        EXPECT_EQ(programFiles(*list), folderContents(folder));
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(newContent(*list, i), readFile(installed(*list, i, folder)));
        EXPECT_EQ("", stagingFolder());
        EXPECT_EQ(readFile(moduleFolder() + "\\setup.exe"), readFile(installed(*list, 0)));
        EXPECT_TRUE(pendingOperations().empty());
    }
}

TEST_F(FileDeployment, ReinstallReplacesTheFilesAndRemovesStrays)
{
    for (const FileList* list : kModes) {
        SCOPED_TRACE(list->descriptor);
        SetUp();
        installOldFiles(*list);
        writeFile(kFolder + "\\" + list->otherSettings, "other mode");
        writeFile(kFolder + "\\pkgmgr.exe.manifest", "manifest");
        writeFile(kFolder + "\\notes.txt", "the user's");
        ASSERT_EQ(1, deploy(*list, 1, 0));
        EXPECT_EQ(programFiles(*list, {"notes.txt"}), folderContents(kFolder));
        expectFiles(*list, newContent);
    }
}

TEST_F(FileDeployment, AProgramFolderWithASemicolonIsOneFolder)
{
    // Stray files are looked for in "...\\a;b" only, never in "...\\a".
    const std::string folder = kRoot + "\\a;b";
    const std::string other = kRoot + "\\a";
    makeFolders(folder);
    makeFolders(other);
    writeFile(other + "\\ZemSetup.xml", "another folder's");
    writeFile(other + "\\pkgmgr.exe.manifest", "another folder's");
    writeFile(folder + "\\ZemSetup.xml", "other mode");
    ASSERT_EQ(1, deploy(kSettingsMode, 1, 0, folder));
    EXPECT_EQ(programFiles(kSettingsMode), folderContents(folder));
    EXPECT_EQ((Names{"ZemSetup.xml", "pkgmgr.exe.manifest"}), folderContents(other));
}

TEST_F(FileDeployment, MissingSourceFailsWithTheProgramFolderUntouched)
{
    const std::pair<const FileList*, const char*> cases[] = {
        {&kSettingsMode, "setup.exe"},   {&kSettingsMode, "PkgMgr"},
        {&kSettingsMode, "PkgMgr.zem"},  {&kDescriptorMode, "QUVOZEM.xml"},
        {&kDescriptorMode, "ZemFlash.dll"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        SetUp();
        std::string source = kPackage + "\\" + c.second;
        ASSERT_TRUE(MoveFileA(source.c_str(), (source + ".away").c_str()));
        EXPECT_EQ(0, deploy(*c.first, 1, 0));
        MoveFileA((source + ".away").c_str(), source.c_str());
        EXPECT_FALSE(exists(kFolder));
        EXPECT_FALSE(exists(installed(*c.first, 0)));
    }
}

// The list of installed paths holds "C:\windows\_zemu000.exe" (24 characters with its
// null), eleven paths in the folder (127 characters of names) and the empty path that
// ends it: 11 * length + 174 characters. 220 fills 2594 of 2600; 221 overflows.
TEST_F(FileDeployment, FoldersTooLongForThePathsFailBeforeAnythingIsTouched)
{
    ASSERT_EQ("C:\\windows", windowsFolder());
    for (size_t length : {220, 221}) {
        SCOPED_TRACE(length);
        SetUp();
        std::string folder = kRoot + "\\" + std::string(length - kRoot.size() - 1, 'd');
        int fits = length == 220;
        EXPECT_EQ(fits, deploy(kSettingsMode, 1, 0, folder));
        EXPECT_EQ(bool(fits), exists(folder));
        EXPECT_EQ("", stagingFolder());
        installOldFiles(kSettingsMode, folder);
        EXPECT_EQ(fits, deploy(kSettingsMode, 0, 0, folder));
        EXPECT_EQ(fits ? Names{} : programFiles(kSettingsMode), folderContents(folder));
        EXPECT_EQ(size_t(fits), pendingOperations().size());
    }
    // "\pkgmgr.exe.manifest" would not fit a path of 260 characters.
    std::string folder = kRoot + "\\" + std::string(245 - kRoot.size() - 1, 'd');
    EXPECT_EQ(0, deploy(kSettingsMode, 1, 0, folder));
    EXPECT_FALSE(exists(folder));
    EXPECT_EQ("", stagingFolder());
    // No folder at all would mean the root of the current drive.
    EXPECT_EQ(0, deploy(kSettingsMode, 1, 0, ""));
    EXPECT_EQ(0, deploy(kSettingsMode, 0, 0, ""));
}

TEST_F(FileDeployment, InstallWhileRunningSchedulesTwoOperationsPerFile)
{
    for (const FileList* list : kModes) {
        SCOPED_TRACE(list->descriptor);
        SetUp();
        installOldFiles(*list);
        std::string stray = kFolder + "\\" + list->otherSettings;
        std::string manifest = kFolder + "\\pkgmgr.exe.manifest";
        writeFile(stray, "other mode");
        writeFile(manifest, "manifest");
        ASSERT_EQ(1, deploy(*list, 1, 1));

        expectFiles(*list, oldContent);
        EXPECT_EQ(programFiles(*list, {list->otherSettings, "pkgmgr.exe.manifest"}),
                  folderContents(kFolder));
        Operations expected = {{stray, ""}, {manifest, ""}};
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(newContent(*list, i), readFile(staged(*list, i)));
            expected.push_back({installed(*list, i), ""});
            expected.push_back({staged(*list, i), installed(*list, i)});
        }
        expected.push_back({stagingFolder(), ""});  // emptied by then
        EXPECT_EQ(expected, pendingOperations());
    }
}

TEST_F(FileDeployment, RemovalDeletesElevenFilesAndSchedulesTheUninstaller)
{
    for (const FileList* list : kModes) {
        SCOPED_TRACE(list->descriptor);
        SetUp();
        installOldFiles(*list);
        writeFile(kFolder + "\\notes.txt", "the user's");
        ASSERT_EQ(1, deploy(*list, 0, 0));
        EXPECT_EQ(Names{"notes.txt"}, folderContents(kFolder));
        EXPECT_TRUE(exists(installed(*list, 0)));
        EXPECT_EQ((Operations{{installed(*list, 0), ""}}), pendingOperations());
    }
    // A file removed by hand, or by a removal cut off earlier, counts as removed; a
    // second removal finds none and still succeeds.
    SetUp();
    installOldFiles(kSettingsMode);
    DeleteFileA(installed(kSettingsMode, 4).c_str());
    EXPECT_EQ(1, deploy(kSettingsMode, 0, 0));
    EXPECT_EQ(Names{}, folderContents(kFolder));
    EXPECT_EQ(1, deploy(kSettingsMode, 0, 0));
    EXPECT_EQ((Operations{{installed(kSettingsMode, 0), ""}}), pendingOperations()) << "once, not twice";
}

TEST_F(FileDeployment, RemovalWhileRunningSchedulesEveryFile)
{
    installOldFiles(kDescriptorMode);
    ASSERT_EQ(1, deploy(kDescriptorMode, 0, 1));
    expectFiles(kDescriptorMode, oldContent);
    Operations expected;
    for (int i = 0; i < 12; ++i)
        expected.push_back({installed(kDescriptorMode, i), ""});
    EXPECT_EQ(expected, pendingOperations());
}

int movesLeft;

BOOL WINAPI refuseAfterSomeMoves(LPCSTR existing, LPCSTR newName, DWORD flags)
{
    if (movesLeft-- == 0)
        return FALSE;
    return MoveFileExA(existing, newName, flags);
}

// The first refused schedule ends the scheduling; what was scheduled before stays.
TEST_F(FileDeployment, SchedulingStopsAtTheFirstRefusal)
{
    installOldFiles(kSettingsMode);
    platform.MoveFileExA = refuseAfterSomeMoves;
    movesLeft = 5;  // the move of the third file
    EXPECT_EQ(0, deploy(kSettingsMode, 1, 1));
    EXPECT_EQ((Operations{{installed(kSettingsMode, 0), ""},
                          {staged(kSettingsMode, 0), installed(kSettingsMode, 0)},
                          {installed(kSettingsMode, 1), ""},
                          {staged(kSettingsMode, 1), installed(kSettingsMode, 1)},
                          // The refused move takes its file's deletion back with it; the
                          // staging folder goes once the scheduled moves have emptied it.
                          {staged(kSettingsMode, 0).substr(0, staged(kSettingsMode, 0).rfind('\\')), ""}}),
              pendingOperations());

    clearPendingOperations();
    movesLeft = 4;
    EXPECT_EQ(0, deploy(kSettingsMode, 0, 1));
    EXPECT_EQ(4u, pendingOperations().size());
}

// A file that another process holds (the application unseen, in another session) is
// in use: nothing in place changes and every file waits for the restart. The
// uninstaller, which a removal always leaves to the restart, does not count there.
TEST_F(FileDeployment, AFileHeldByAnotherProcessDefersEveryFileToTheRestart)
{
    const struct {
        const char* what;
        uint32_t runFlags;
        int held;  // index of the held file; -1: the stray settings file
        bool oldFiles;
        int restartAfter;
        size_t pending;
    } cases[] = {
        {"update, the application", 1, 1, true, 1, 25},       {"update, the stray settings file", 1, -1, true, 1, 26},
        {"installation, another run's uninstaller", 1, 0, false, 1, 25},
        {"removal, a library", 0, 11, true, 1, 12},          {"removal, only the uninstaller", 0, 0, true, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.oldFiles ? installOldFiles(kSettingsMode) : writeFile(installed(kSettingsMode, 0), "another run's");
        std::string stray = kFolder + "\\" + kSettingsMode.otherSettings;
        if (c.held < 0)
            writeFile(stray, "other mode");
        {
            HeldFile held(c.held < 0 ? stray : installed(kSettingsMode, c.held));
            ASSERT_TRUE(held.held());
            EXPECT_EQ(1, deploy(kSettingsMode, c.runFlags, 0));
            EXPECT_EQ(c.restartAfter, restartAfter);
            EXPECT_EQ(c.pending, pendingOperations().size());
        }
        if (c.oldFiles && c.restartAfter)
            expectFiles(kSettingsMode, oldContent);
    }
}

// The application took a file after the check, before the move or the deletion: the
// files still in place wait for the restart, so that the folder never stays a mix, and
// the trace says so. Wine's shell moves the others and reports success; Windows' stops
// at the held file and fails (played here). The file is held for real, without sharing.
// A file left for another cause (one that nobody may change, for real; one that the
// shell skips and reports success, played) fails the phase, and nothing of the run
// waits for the restart.
enum class Stop { held, heldShellFails, unchangeable, skipped };
std::string heldByShell, traced;
Stop stop;
HANDLE shellHeld = INVALID_HANDLE_VALUE;

int WINAPI holdThenOperate(LPSHFILEOPSTRUCTA operation)
{
    if (operation->wFunc == FO_COPY)
        return SHFileOperationA(operation);
    if (stop == Stop::held || stop == Stop::heldShellFails)
        shellHeld = CreateFileA(heldByShell.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (stop == Stop::held || stop == Stop::unchangeable)
        return SHFileOperationA(operation);
    for (const char *from = operation->pFrom, *to = operation->pTo; *from;
         from += strlen(from) + 1, to += to ? strlen(to) + 1 : 0) {
        if (stop == Stop::skipped && heldByShell == (to ? to : from))
            continue;
        if (!(to ? MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) : DeleteFileA(from)))
            return ERROR_SHARING_VIOLATION;
    }
    return 0;
}

TEST_F(FileDeployment, AMoveOrDeletionStoppedPartWayLeavesTheRestForTheRestart)
{
    const struct {
        const char* what;
        uint32_t runFlags;
        Stop stop;
        std::string folder;
    } cases[] = {{"installation, the shell reports success", 1, Stop::held, kFolder},
                 {"installation, the shell fails", 1, Stop::heldShellFails, kFolder},
                 // The restart renames within a volume only: the copies left go beside
                 // their destination first.
                 {"installation on another volume", 1, Stop::heldShellFails, "D:\\PkgMgr"},
                 {"removal", 0, Stop::held, kFolder},
                 {"installation, a file nobody may change", 1, Stop::unchangeable, kFolder},
                 {"removal, a file nobody may change", 0, Stop::unchangeable, kFolder},
                 {"installation, a file the shell skips", 1, Stop::skipped, kFolder},
                 {"removal, a file the shell skips", 0, Stop::skipped, kFolder}};
    ASSERT_TRUE(makeSecondVolume());
    traceSink = [](const char* line) { traced += std::string(line) + "\n"; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        removeTree(c.folder);
        installOldFiles(kSettingsMode, c.folder);
        heldByShell = installed(kSettingsMode, 5, c.folder);
        stop = c.stop;
        traced.clear();
        platform.SHFileOperationA = holdThenOperate;
        bool inUse = c.stop == Stop::held || c.stop == Stop::heldShellFails;
        if (c.stop == Stop::unchangeable) {
            ASSERT_TRUE(setUnchangeable(heldByShell, true));
        }
        EXPECT_EQ(inUse ? 1 : 0, deploy(kSettingsMode, c.runFlags, 0, c.folder));
        CloseHandle(shellHeld);
        if (c.stop == Stop::unchangeable) {
            EXPECT_TRUE(setUnchangeable(heldByShell, false));
        }
        if (!inUse) {
            EXPECT_EQ(0, restartAfter);
            std::string cause = c.stop == Stop::skipped ? "a file left while none is in use: the phase fails: "
                                                        : "another cause than use: the phase fails) failed, error 5 "
                                                          "(0x00000005): ";
            EXPECT_NE(std::string::npos, traced.find(cause + heldByShell)) << traced;
            EXPECT_EQ(oldContent(kSettingsMode, 5), readFile(heldByShell));
            EXPECT_EQ("", stagingFolder());
            EXPECT_EQ(Operations(), pendingOperations());
            continue;
        }
        EXPECT_EQ(1, restartAfter);
        EXPECT_NE(std::string::npos, traced.find(c.runFlags ? "stopped part way: replaced at the next restart: " + heldByShell
                                                            : "the deletion stopped part way"))
            << traced;
        // Each file left is replaced from its staged copy, or deleted, at the restart;
        // then the staging folders go. Wine's shell stops at the held file on deletion.
        bool fails = c.stop == Stop::heldShellFails;
        std::string stage = stagingFolder();
        for (const std::string& name : folderContents(c.folder)) {
            if (name.rfind("PkgMgrSetup-", 0) == 0)
                stage = c.folder + "\\" + name;
        }
        Operations expected;
        for (int i = c.runFlags ? 0 : 1; i < 12; ++i) {
            bool left = i >= 5 && (i == 5 || fails || !c.runFlags);
            std::string target = installed(kSettingsMode, i, c.folder), copy = stage + "\\" + kSettingsMode.targets[i];
            EXPECT_EQ(left ? oldContent(kSettingsMode, i) : c.runFlags ? newContent(kSettingsMode, i) : kAbsent,
                      readFile(target));
            if (left && c.runFlags) {
                EXPECT_EQ(newContent(kSettingsMode, i), readFile(copy));
                expected.insert(expected.end(), {{target, ""}, {copy, target}});
            } else if (left) {
                expected.push_back({target, ""});
            }
        }
        expected.push_back({c.runFlags ? stagingFolder() : installed(kSettingsMode, 0), ""});
        if (c.folder != kFolder)
            expected.push_back({stage, ""});
        EXPECT_EQ(expected, pendingOperations());
    }
    traceSink = nullptr;
    removeSecondVolume();
}

// Each folder made, with the access list it was made with, "" for the parent's: Wine
// keeps no access lists, so the test reads what the run hands to the system.
std::vector<std::pair<std::string, std::string>> createdFolders;

std::string accessOf(const SECURITY_ATTRIBUTES* security)
{
    if (!security)
        return "";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    GetSecurityDescriptorControl(security->lpSecurityDescriptor, &control, &revision);
    GetSecurityDescriptorDacl(security->lpSecurityDescriptor, &present, &list, &defaulted);
    std::string text = control & SE_DACL_PROTECTED ? "protected" : "open";
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    const std::pair<DWORD, const char*> groups[] = {
        {DOMAIN_ALIAS_RID_ADMINS, "administrators"}, {DOMAIN_ALIAS_RID_USERS, "users"}};
    for (WORD i = 0; list && i < list->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        GetAce(list, i, reinterpret_cast<void**>(&entry));
        PSID sid = &entry->SidStart;
        std::string who = "other";
        if (*GetSidSubAuthorityCount(sid) == 1 && *GetSidSubAuthority(sid, 0) == SECURITY_LOCAL_SYSTEM_RID)
            who = "system";
        for (const auto& group : groups) {
            PSID wanted = nullptr;
            AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, group.first, 0, 0, 0, 0, 0, 0, &wanted);
            if (EqualSid(sid, wanted))
                who = group.second;
            FreeSid(wanted);
        }
        const char* rights = entry->Mask == GENERIC_ALL ? "all"
                             : entry->Mask == (GENERIC_READ | GENERIC_EXECUTE) ? "read" : "?";
        bool inherited = (entry->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                         (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        text += " " + who + ":" + rights + (inherited ? "+" : "");
    }
    return text;
}

BOOL WINAPI recordFolderCreation(LPCSTR path, LPSECURITY_ATTRIBUTES security)
{
    if (!CreateDirectoryA(path, security))
        return FALSE;
    createdFolders.push_back({path, accessOf(security)});
    return TRUE;
}

// A level made directly at the root of a drive gets the access of a program folder;
// what is made below it inherits that, and folders elsewhere inherit their parent's.
TEST_F(FileDeployment, CreateFolderTreeMakesEveryMissingLevel)
{
    const std::string program = "protected administrators:all+ system:all+ users:read+";
    writeFile(kRoot + "\\file.txt", "a file, not a folder");
    removeTree("C:\\pkgmgr-top");
    removeTree("C:\\pkgmgr-top2");
    platform.CreateDirectoryA = recordFolderCreation;
    const struct {
        std::string path;
        int made;
        std::vector<std::pair<std::string, std::string>> created;
    } cases[] = {
        {kRoot, 1, {}},
        {kRoot + "\\a\\b\\c", 1, {{kRoot + "\\a", ""}, {kRoot + "\\a\\b", ""}, {kRoot + "\\a\\b\\c", ""}}},
        {kRoot + "\\x\\y\\", 1, {{kRoot + "\\x", ""}, {kRoot + "\\x\\y", ""}}},
        {kRoot + "\\file.txt\\sub", 0, {}},
        {kRoot + "\\file.txt", 0, {}},  // a file in the way is no folder
        {"Q:nothing", 0, {}},
        {"C:\\pkgmgr-top\\Veltrano", 1, {{"C:\\pkgmgr-top", program}, {"C:\\pkgmgr-top\\Veltrano", ""}}},
        {"C:\\pkgmgr-top\\Other", 1, {{"C:\\pkgmgr-top\\Other", ""}}},  // the root level is there
        {"C:\\pkgmgr-top2\\", 1, {{"C:\\pkgmgr-top2\\", program}}},
    };
    for (const auto& c : cases) {
        createdFolders.clear();
        EXPECT_EQ(c.made, createFolderTree(c.path.c_str())) << c.path;
        EXPECT_EQ(c.made, GetFileAttributesA(c.path.c_str()) == FILE_ATTRIBUTE_DIRECTORY) << c.path;
        EXPECT_EQ(c.created, createdFolders) << c.path;
    }
    removeTree("C:\\pkgmgr-top");
    removeTree("C:\\pkgmgr-top2");

    // The staging folder is the run's alone.
    createdFolders.clear();
    ASSERT_EQ(1, deploy(kSettingsMode, 1, 0));
    ASSERT_LE(1u, createdFolders.size());
    EXPECT_EQ(0u, createdFolders[0].first.find(tempFolder() + "PkgMgrSetup-"));
    EXPECT_EQ("protected administrators:all+ system:all+", createdFolders[0].second);
}

// Wine reports a fixed owner and access list for files, so only the outcome shows here.
TEST_F(FileDeployment, SecuringAStagedFileNeedsTheFile)
{
    std::string path = tempFolder() + "secured.tmp";
    writeFile(path, "staged");
    EXPECT_EQ(1, secureStagedFile(path.c_str()));
    EXPECT_EQ("staged", readFile(path));
    DeleteFileA(path.c_str());
    EXPECT_EQ(0, secureStagedFile(path.c_str()));

    // A private folder is always a new one: nothing of that name may be there before.
    std::string folder = tempFolder() + "private.tmp";
    removeTree(folder);
    EXPECT_EQ(1, createPrivateFolder(folder.c_str()));
    EXPECT_EQ(0, createPrivateFolder(folder.c_str()));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    removeTree(folder);
    writeFile(folder, "a file");
    EXPECT_EQ(0, createPrivateFolder(folder.c_str()));
    DeleteFileA(folder.c_str());
}

std::string runFolder;  // where the running setup.exe lies, for the next test

DWORD WINAPI runFolderModulePath(HMODULE, LPSTR path, DWORD size)
{
    lstrcpynA(path, (runFolder + "setup.exe").c_str(), int(size));
    return DWORD(strlen(path));
}

// Files of the installed names planted in the temporary folder, one of them held open
// as another user's process would, are neither used nor touched; nor is a package
// that lies in the temporary folder itself.
TEST_F(FileDeployment, StagingUsesAFolderOfTheRunsOwn)
{
    std::string planted = tempFolder() + "PkgMgr.exe";
    writeFile(planted, "planted");
    writeFile(tempFolder() + "_zemu000.exe", "planted");
    HANDLE held = CreateFileA(planted.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(1, deploy(kSettingsMode, 1, 0));
    expectFiles(kSettingsMode, newContent);
    CloseHandle(held);
    EXPECT_EQ("planted", readFile(planted));
    EXPECT_EQ("planted", readFile(tempFolder() + "_zemu000.exe"));
    DeleteFileA(planted.c_str());
    DeleteFileA((tempFolder() + "_zemu000.exe").c_str());

    runFolder = tempFolder();
    for (int i = 0; i < 12; ++i)
        CopyFileA((kPackage + "\\" + kSettingsMode.sources[i]).c_str(),
                  (runFolder + kSettingsMode.sources[i]).c_str(), FALSE);
    platform.GetModuleFileNameA = runFolderModulePath;
    EXPECT_EQ(1, deploy(kSettingsMode, 1, 0));
    expectFiles(kSettingsMode, newContent);
    EXPECT_EQ("", stagingFolder());
    for (int i = 0; i < 12; ++i)
        DeleteFileA((runFolder + kSettingsMode.sources[i]).c_str());
}

// What earlier runs left for the restart on this installation's files would undo the
// next run there: a run takes back their deletions and replacements (and the staged
// copies with them); other programs' entries stay.
TEST_F(FileDeployment, EarlierRunsPendingOperationsAreTakenBack)
{
    struct Case {
        const char* what;
        uint32_t earlierRun, thisRun;
    };
    const Case cases[] = {{"deferred removal, then installation", 0, 1},
                          {"deferred installation, then installation", 1, 1},
                          {"deferred installation, then removal", 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        installOldFiles(kSettingsMode);
        makeFolders("C:\\other");
        writeFile("C:\\other\\gone.tmp", "x");
        writeFile("C:\\other\\app.new", "x");
        ASSERT_TRUE(MoveFileExA("C:\\other\\gone.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        ASSERT_EQ(1, deploy(kSettingsMode, c.earlierRun, 1));
        ASSERT_TRUE(MoveFileExA("C:\\other\\app.new", "C:\\other\\app.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
        ASSERT_EQ(1, deploy(kSettingsMode, c.thisRun, 0));
        Operations expected = {{"C:\\other\\gone.tmp", ""}, {"C:\\other\\app.new", "C:\\other\\app.dll"}};
        if (c.thisRun == 0)
            expected.push_back({installed(kSettingsMode, 0), ""});
        EXPECT_EQ(expected, pendingOperations());
        EXPECT_EQ("", stagingFolder()) << "the earlier run's staged copies went with their moves";
        EXPECT_EQ(c.thisRun ? programFiles(kSettingsMode) : Names{}, folderContents(kFolder));
    }
}

// A removal looks for its files only where it can reach: a program folder on a drive
// that is gone fails the phase; one deleted by hand has no files left. Only files go.
TEST_F(FileDeployment, RemovalNeedsAFolderItCanReach)
{
    struct Case {
        const char* what;
        std::string folder;
        int restartNeeded, expected;
    };
    const Case cases[] = {{"a drive that is gone", "Q:\\Programs\\PkgMgr", 0, 0},
                          {"a drive that is gone, application running", "Q:\\Programs\\PkgMgr", 1, 0},
                          {"a folder deleted by hand", kRoot + "\\deleted\\PkgMgr", 0, 1},
                          {"a folder under an installed name", kFolder, 0, 1},
                          {"a folder under an installed name, application running", kFolder, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        installOldFiles(kSettingsMode);
        std::string planted = kFolder + "\\ZemSetup.dll";
        DeleteFileA(planted.c_str());
        makeFolders(planted);
        writeFile(planted + "\\keep.txt", "somebody else's");
        EXPECT_EQ(c.expected, deploy(kSettingsMode, 0, c.restartNeeded, c.folder));
        EXPECT_EQ("somebody else's", readFile(planted + "\\keep.txt"));
        bool plantedScheduled = false;
        for (const auto& operation : pendingOperations())
            plantedScheduled |= operation.first == planted;
        EXPECT_FALSE(plantedScheduled);
        if (!c.expected) {
            EXPECT_TRUE(pendingOperations().empty());
        }
    }
}

// The program folder was deleted by hand (which counts as removed), and a user put a
// link of its name to a folder holding files of the installed names (owner faked):
// nothing there goes, now or at the restart; the uninstaller still does. The link of an
// administrator (a program folder moved to another drive) is the installation's. A file
// held open there makes the removal of a user's link wait for nothing.
TEST_F(FileDeployment, RemovalThroughAUsersLinkInPlaceOfTheFolderDeletesNothingThere)
{
    const std::string elsewhere = kRoot + "\\elsewhere";
    char elsewhereLong[MAX_PATH] = "";
    const struct {
        FakeOwner owner;
        int restartNeeded;
        bool held, deleted;
    } cases[] = {{FakeOwner::otherUser, 0, false, false}, {FakeOwner::otherUser, 1, false, false},
                 {FakeOwner::otherUser, 0, true, false}, {FakeOwner::administrators, 0, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.restartNeeded + 2 * c.held);
        SetUp();
        installOldFiles(kSettingsMode, elsewhere);
        ASSERT_TRUE(makeLink(kFolder, elsewhere));
        fakeOwnersAndLinks();
        GetLongPathNameA(elsewhere.c_str(), elsewhereLong, MAX_PATH);
        fakedNames = {{elsewhereLong, c.owner, 0}};
        HANDLE holder = c.held ? CreateFileA((elsewhere + "\\PkgMgr.exe").c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        EXPECT_EQ(1, deploy(kSettingsMode, 0, c.restartNeeded));
        EXPECT_EQ(c.restartNeeded, restartAfter);
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        fakedNames.clear();
        EXPECT_EQ(c.deleted ? Names{} : programFiles(kSettingsMode), folderContents(elsewhere));
        EXPECT_EQ((Operations{{installed(kSettingsMode, 0), ""}}), pendingOperations());
        removeLink(kFolder);
    }
}

// Staging folders that killed runs left are removed; one that a running setup holds, or
// whose copies wait for the restart, stays. So does what another user can put under such
// a name in the temporary folder: a link to a folder of someone's files, a folder of
// that user's own (owner faked: Wine keeps one owner), and a link inside a leftover.
TEST_F(FileDeployment, LeftoverStagingFoldersOfEarlierRunsAreRemoved)
{
    const std::string left = tempFolder() + "PkgMgrSetup-0000ABCD";
    const std::string held = tempFolder() + "PkgMgrSetup-0000ABCE";
    const std::string waiting = tempFolder() + "PkgMgrSetup-0000ABCF";
    const std::string linked = tempFolder() + "PkgMgrSetup-0000ABD0";
    const std::string foreign = tempFolder() + "PkgMgrSetup-0000ABD1";
    const std::string linkInside = tempFolder() + "PkgMgrSetup-0000ABD2";
    const std::string victim = kRoot + "\\victim";
    for (const std::string& folder : {left, held, waiting, foreign, linkInside}) {
        makeFolders(folder);
        writeFile(folder + "\\PkgMgr.exe", "staged");
    }
    makeFolders(victim);
    writeFile(victim + "\\keep.txt", "somebody's");
    ASSERT_TRUE(makeLink(linked, victim));
    ASSERT_TRUE(makeLink(linkInside + "\\keep.txt", victim + "\\keep.txt"));
    fakeOwnersAndLinks();
    char foreignLong[MAX_PATH] = "";
    GetLongPathNameA(foreign.c_str(), foreignLong, MAX_PATH);
    fakedNames = {{foreignLong, FakeOwner::otherUser, 0}};
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_TRUE(MoveFileExA((waiting + "\\PkgMgr.exe").c_str(), "C:\\other\\PkgMgr.exe", MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_EQ(1, deploy(kSettingsMode, 1, 0));
    CloseHandle(holder);
    fakedNames.clear();
    EXPECT_FALSE(exists(left));
    EXPECT_EQ("staged", readFile(held + "\\PkgMgr.exe"));
    EXPECT_EQ("staged", readFile(waiting + "\\PkgMgr.exe"));
    EXPECT_EQ("staged", readFile(foreign + "\\PkgMgr.exe"));
    EXPECT_EQ("somebody's", readFile(victim + "\\keep.txt"));
    EXPECT_TRUE(exists(linked));
    removeLink(linked);
    removeLink(linkInside + "\\keep.txt");
    for (const std::string& folder : {held, waiting, foreign, linkInside})
        removeTree(folder);
}

// Each level of the program folder is checked again when the files phase makes or finds
// it, on the name itself (owners faked): one that another user made after the options
// step, or a link that one made, fails; an administrator's link (a program folder moved
// to another drive) keeps working.
std::string unreadableLevel;

DWORD WINAPI unreadableAttributes(LPCSTR path)
{
    if (lstrcmpiA(path, unreadableLevel.c_str()) != 0)
        return GetFileAttributesA(path);
    SetLastError(ERROR_NOT_READY);
    return INVALID_FILE_ATTRIBUTES;
}

Names tracedLines;
void keepTracedLine(const char* line)
{
    tracedLines.push_back(line);
}

TEST_F(FileDeployment, FolderLevelsAreCheckedWhenMadeOrFound)
{
    const std::string real = kRoot + "\\real";
    const std::string linked = kRoot + "\\linked";
    const std::string deepLinked = kRoot + "\\deep";  // an administrator's link below another's folder
    makeFolders(real + "\\inner");
    ASSERT_TRUE(makeLink(linked, real));
    ASSERT_TRUE(makeLink(deepLinked, real + "\\inner"));
    fakeOwnersAndLinks();
    const struct {
        std::string folder;
        std::string fakedPath;
        FakeOwner owner;
        int made;
    } cases[] = {
        {real + "\\PkgMgr", real, FakeOwner::otherUser, 0},      // found below another's folder
        {real, real, FakeOwner::otherUser, 0},                      // found, another's
        {linked + "\\PkgMgr", real, FakeOwner::otherUser, 0},    // through another's link
        {linked + "\\PkgMgr", real, FakeOwner::administrators, 1},
        {deepLinked + "\\PkgMgr", real, FakeOwner::otherUser, 0},  // where the link leads counts
        {deepLinked + "\\PkgMgr", real, FakeOwner::administrators, 1},
    };
    for (const auto& c : cases) {
        fakedNames = {{c.fakedPath, c.owner, 0}};
        EXPECT_EQ(c.made, createFolderTree(c.folder.c_str())) << c.folder;
    }
    // A level that cannot be looked at for another cause than its absence is no level
    // that may be taken as missing.
    fakedNames.clear();
    unreadableLevel = real;
    platform.GetFileAttributesA = unreadableAttributes;
    EXPECT_EQ(0, createFolderTree((real + "\\PkgMgr").c_str()));
    platform.GetFileAttributesA = GetFileAttributesA;
    // The trace names the refused level's cause, and no failed call that did not fail.
    fakedNames = {{real, FakeOwner::otherUser, 0}};
    tracedLines.clear();
    traceSink = keepTracedLine;
    EXPECT_EQ(0, deploy(kSettingsMode, 1, 0, real + "\\PkgMgr"));
    traceSink = nullptr;
    EXPECT_EQ(Names{}, folderContents(real + "\\PkgMgr"));
    ASSERT_FALSE(tracedLines.empty());
    for (const std::string& line : tracedLines)
        EXPECT_EQ(std::string::npos, line.find("CreateDirectoryA")) << line;
    fakedNames.clear();
    removeLink(linked);
    removeLink(deepLinked);
}

// Paths from the system in a narrow form that names the same file (code page 1252
// here): a name the code page holds as it is, another by its short form, and none when
// there is no short form (here: the file does not exist).
TEST_F(FileDeployment, NarrowPathsNameTheSameFile)
{
    ASSERT_EQ(1252u, GetACP());
    const std::wstring base = L"C:\\actions\\target\\";
    const struct {
        std::wstring path;
        bool make;
        int expected;
        bool asItIs;
    } cases[] = {
        {base + L"plain caf\u00e9", true, 1, true},
        {base + L"\u0141\u00f3d\u017a", true, 1, false},
        {base + L"\u5f20\u4f1f", true, 1, false},
        {base + L"nowhere\\\u0418\u0432\u0430\u043d", false, 0, false},
    };
    for (const auto& c : cases) {
        if (c.make) {
            ASSERT_TRUE(CreateDirectoryW(c.path.c_str(), nullptr));
        }
        char narrow[MAX_PATH] = "x";
        SetLastError(0);
        EXPECT_EQ(c.expected, losslessNarrowPath(c.path.c_str(), narrow));
        if (!c.expected) {
            EXPECT_EQ(DWORD(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
            EXPECT_STREQ("", narrow);
            continue;
        }
        EXPECT_EQ(c.asItIs, strchr(narrow, '~') == nullptr) << narrow;
        EXPECT_EQ(nullptr, strchr(narrow, '?')) << narrow;
        wchar_t wide[MAX_PATH] = L"";
        wchar_t back[MAX_PATH] = L"";
        MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, MAX_PATH);
        ASSERT_NE(0u, GetLongPathNameW(wide, back, MAX_PATH)) << narrow;
        EXPECT_EQ(0, lstrcmpiW(c.path.c_str(), back)) << narrow;
    }
}

// --- Windows 9x: the "rename" section of WININIT.INI ---

class FileDeployment9x : public Deployment {
protected:
    void SetUp() override
    {
        Deployment::SetUp();
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        ASSERT_EQ(DWORD(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId);
        writeFile(windowsFolder() + "\\WININIT.INI",
                  "[rename]\r\nNUL=C:\\OTHER\\GONE.TMP\r\nC:\\OTHER\\APP.DLL=C:\\OTHER\\APP.NEW\r\n"
                  "\r\n[keep]\r\nvalue=1\r\n");
    }

    // The lines after those of other programs, which stay, as does the other section.
    static Names addedLines()
    {
        Names lines = renameLines();
        EXPECT_NE(std::string::npos, readFile(windowsFolder() + "\\WININIT.INI")
                                         .find("[keep]\r\nvalue=1\r\n"));
        if (lines.size() < 2 || lines[0] != "NUL=C:\\OTHER\\GONE.TMP" ||
            lines[1] != "C:\\OTHER\\APP.DLL=C:\\OTHER\\APP.NEW") {
            ADD_FAILURE() << "the earlier lines are lost";
            return lines;
        }
        return Names(lines.begin() + 2, lines.end());
    }
};

TEST_F(FileDeployment9x, InstallRemovesTheOtherSettingsFileButKeepsTheManifest)
{
    installOldFiles(kSettingsMode);
    writeFile(kFolder + "\\ZemSetup.xml", "other mode");
    writeFile(kFolder + "\\pkgmgr.exe.manifest", "manifest");
    ASSERT_EQ(1, deploy(kSettingsMode, 1, 0));
    EXPECT_EQ(programFiles(kSettingsMode, {"pkgmgr.exe.manifest"}), folderContents(kFolder));
    expectFiles(kSettingsMode, newContent);
    EXPECT_EQ(Names{}, addedLines());
}

// Installed files are replaced at the restart. A new file has nothing in its place and no
// short name for a key: it is moved in at once.
TEST_F(FileDeployment9x, InstallWhileRunningAddsALinePerInstalledFile)
{
    installOldFiles(kSettingsMode);
    DeleteFileA(installed(kSettingsMode, 0).c_str());
    DeleteFileA(installed(kSettingsMode, 11).c_str());
    std::string stray = kFolder + "\\ZemSetup.xml";
    writeFile(stray, "other mode");
    writeFile(kFolder + "\\pkgmgr.exe.manifest", "manifest");
    ASSERT_EQ(1, deploy(kSettingsMode, 1, 1));

    Names expected = {"NUL=" + shortPathOf(stray)};
    for (int i = 1; i < 11; ++i) {
        EXPECT_EQ(oldContent(kSettingsMode, i), readFile(installed(kSettingsMode, i)));
        expected.push_back(shortPathOf(installed(kSettingsMode, i)) + "=" +
                           shortPathOf(staged(kSettingsMode, i)));
    }
    for (int i : {0, 11}) {
        EXPECT_EQ(newContent(kSettingsMode, i), readFile(installed(kSettingsMode, i)));
        EXPECT_FALSE(exists(staged(kSettingsMode, i)));
    }
    EXPECT_TRUE(exists(staged(kSettingsMode, 1))) << "the staged copies wait for the restart";
    EXPECT_EQ(expected, addedLines());
    EXPECT_TRUE(exists(stray));
}

TEST_F(FileDeployment9x, RemovalWhileRunningAddsALinePerExistingFile)
{
    for (int absent : {-1, 4}) {
        SCOPED_TRACE(absent);
        SetUp();
        installOldFiles(kDescriptorMode);
        Names expected;
        for (int i = 0; i < 12; ++i) {
            if (i == absent)
                DeleteFileA(installed(kDescriptorMode, i).c_str());
            else
                expected.push_back("NUL=" + shortPathOf(installed(kDescriptorMode, i)));
        }
        ASSERT_EQ(1, deploy(kDescriptorMode, 0, 1));
        EXPECT_EQ(expected, addedLines());
        EXPECT_EQ(programFiles(kDescriptorMode).size() - (absent > 0),
                  folderContents(kFolder).size());
    }
}

// Windows 9x, which has share modes but no delete access: a held file is in use too.
TEST_F(FileDeployment9x, AFileHeldByAnotherProcessDefersEveryFileToTheRestart)
{
    for (uint32_t runFlags : {1u, 0u}) {
        SetUp();
        installOldFiles(kSettingsMode);
        {
            HeldFile held(installed(kSettingsMode, 1));
            ASSERT_EQ(1, held.held() && deploy(kSettingsMode, runFlags, 0));
        }
        EXPECT_EQ(1, restartAfter);
        expectFiles(kSettingsMode, oldContent);
        Names expected;
        for (int i = 0; i < 12; ++i)
            expected.push_back(runFlags ? shortPathOf(installed(kSettingsMode, i)) + "=" + shortPathOf(staged(kSettingsMode, i))
                                        : "NUL=" + shortPathOf(installed(kSettingsMode, i)));
        EXPECT_EQ(expected, addedLines()) << runFlags;
    }
}

TEST_F(FileDeployment9x, RemovalDeletesElevenFilesAndAddsALineForTheUninstaller)
{
    for (bool uninstallerThere : {true, false}) {
        SCOPED_TRACE(uninstallerThere);
        SetUp();
        installOldFiles(kSettingsMode);
        std::string uninstaller = installed(kSettingsMode, 0);
        if (!uninstallerThere)
            DeleteFileA(uninstaller.c_str());
        ASSERT_EQ(1, deploy(kSettingsMode, 0, 0));
        EXPECT_EQ(Names{}, folderContents(kFolder));
        EXPECT_TRUE(exists(kFolder));
        EXPECT_EQ(uninstallerThere ? Names{"NUL=" + shortPathOf(uninstaller)} : Names{},
                  addedLines());
    }
}

}  // namespace

// The same on Windows 9x, in WININIT.INI: a removal's deletion lines give way to a
// later installation, an installation's replacement lines to a later removal.
TEST_F(FileDeployment9x, EarlierRunsLinesAreTakenBack)
{
    for (uint32_t thisRun : {1u, 0u}) {
        SCOPED_TRACE(thisRun);
        SetUp();
        installOldFiles(kSettingsMode);
        ASSERT_EQ(1, deploy(kSettingsMode, 1 - thisRun, 1));
        ASSERT_FALSE(addedLines().empty());
        std::string uninstaller = shortPathOf(installed(kSettingsMode, 0));
        ASSERT_EQ(1, deploy(kSettingsMode, thisRun, 0));
        EXPECT_EQ(thisRun ? Names{} : Names{"NUL=" + uninstaller}, addedLines());
    }
}

// A line is taken back also when its file is gone since it was written: a removal's
// deletions, the program folder then deleted by hand, must not take the next
// installation's files at the restart; an installation's replacements, the files then
// deleted by hand, must not bring them back after a removal.
TEST_F(FileDeployment9x, LinesOfFilesGoneSinceAreTakenBack)
{
    const std::string folder = kRoot + "\\Package Manager Files";  // a long name, with an alias
    for (uint32_t thisRun : {1u, 0u}) {
        SCOPED_TRACE(thisRun);
        SetUp();
        installOldFiles(kSettingsMode, folder);
        ASSERT_EQ(1, deploy(kSettingsMode, 1 - thisRun, 1, folder));
        ASSERT_LE(10u, addedLines().size());
        if (thisRun) {
            removeTree(folder);
        } else {
            for (const std::string& name : folderContents(folder))
                DeleteFileA((folder + "\\" + name).c_str());
        }
        ASSERT_EQ(1, deploy(kSettingsMode, thisRun, 0, folder));
        std::string uninstaller = shortPathOf(installed(kSettingsMode, 0));
        EXPECT_EQ(thisRun ? Names{} : Names{"NUL=" + uninstaller}, addedLines());
    }
}
