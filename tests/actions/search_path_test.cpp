// Search folders, install records, browser button and step I6, on the real registry
// and folders of a prefix of their own.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>

#include "actions/machine.h"
#include "actions/file_security.h"
#include "actions/registry_records.h"
#include "actions/search_path.h"
#include "platform/seam.h"
#include "setup/context.h"
#include "setup/run.h"
#include "setupdata/setup_data.h"

namespace {

const std::string kSearchPath = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller\\SearchPath";
const std::string kInstall = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller\\Install";
const std::string kButton =
    "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{7B3E9C41-A52D-4e8b-9F06-D2C4817E35AB}";

const StoredValue kNone = {0, kAbsent};

class SearchPath : public ::testing::Test {
protected:
    void SetUp() override { deleteTree(kSearchPath); }
    void TearDown() override { deleteTree(kSearchPath); }
};

TEST_F(SearchPath, FolderBecomesAKeyPathWithItsDefaultValue)
{
    EXPECT_EQ(1, applySearchFolder("C:\\DRIVERS", 1));
    EXPECT_EQ(Names{}, valueNames(kSearchPath + "\\C:"));
    EXPECT_EQ(textValue("C:\\DRIVERS"), storedValue(kSearchPath + "\\C:\\DRIVERS", ""));
    EXPECT_EQ(1, applySearchFolder("C:\\DRIVERS", 1));  // twice: one key, same value
    EXPECT_EQ(Names{""}, valueNames(kSearchPath + "\\C:\\DRIVERS"));
    EXPECT_EQ(textValue("C:\\DRIVERS"), storedValue(kSearchPath + "\\C:\\DRIVERS", ""));
}

TEST_F(SearchPath, FolderAboveEarlierOnesReplacesThem)
{
    applySearchFolder("C:\\DRIVERS\\A", 1);
    applySearchFolder("C:\\DRIVERS\\B\\Deep", 1);
    EXPECT_EQ(1, applySearchFolder("C:\\DRIVERS", 1));
    EXPECT_FALSE(keyExists(kSearchPath + "\\C:\\DRIVERS\\A"));
    EXPECT_FALSE(keyExists(kSearchPath + "\\C:\\DRIVERS\\B"));
    EXPECT_EQ(textValue("C:\\DRIVERS"), storedValue(kSearchPath + "\\C:\\DRIVERS", ""));

    // A folder below keeps the one above; a key without subkeys keeps its named values.
    setValue(kSearchPath + "\\C:\\DRIVERS", "Note", textValue("kept"));
    EXPECT_EQ(1, applySearchFolder("C:\\DRIVERS\\A", 1));
    EXPECT_EQ(textValue("C:\\DRIVERS"), storedValue(kSearchPath + "\\C:\\DRIVERS", ""));
    EXPECT_EQ(textValue("C:\\DRIVERS\\A"), storedValue(kSearchPath + "\\C:\\DRIVERS\\A", ""));
}

TEST_F(SearchPath, OverlongFolderIsRefusedAndRemovalTakesTheWholeTree)
{
    std::string folder = "C:\\" + std::string(260 - kSearchPath.size() - 4, 'x');
    EXPECT_EQ(0, applySearchFolder(folder.c_str(), 1));
    EXPECT_FALSE(keyExists(kSearchPath));

    applySearchFolder("C:\\One", 1);
    applySearchFolder("D:\\Two\\Three", 1);
    EXPECT_EQ(1, applySearchFolder(nullptr, 0));
    EXPECT_FALSE(keyExists(kSearchPath));
    EXPECT_EQ(1, applySearchFolder(nullptr, 0));  // nothing left to remove
}

TEST(KeyTree, DeletesEverythingBelowAndTheKeyWhenNamed)
{
    const std::string root = "SOFTWARE\\PkgMgrTreeTest";
    for (const char* key : {"\\a\\b\\c", "\\a\\d", "\\e"})
        setValue(root + key, "v", textValue("x"));
    setValue(root, "top", numberValue(1));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(1, deleteKeyTree(key, nullptr));
    RegCloseKey(key);
    EXPECT_TRUE(keyExists(root));
    EXPECT_EQ(Names{}, valueNames(root));
    EXPECT_FALSE(keyExists(root + "\\a"));
    EXPECT_EQ(1, deleteKeyTree(HKEY_LOCAL_MACHINE, root.c_str()));
    EXPECT_FALSE(keyExists(root));
    EXPECT_EQ(1, deleteKeyTree(HKEY_LOCAL_MACHINE, root.c_str()));
}

TEST(InstallRecords, MissingValuesAreFilledAndCatalogRemoved)
{
    deleteTree(kInstall);
    EXPECT_EQ(1, migrateInstallRecords());  // no records at all
    const StoredValue emptyList = {REG_MULTI_SZ, std::string(1, '\0')};
    const StoredValue zeros = {REG_BINARY, std::string(8, '\0')};
    for (const char* item : {"PkgMgr", "OTHER", "Short", "Long", "Kept"})
        setValue(kInstall + "\\" + item, "Catalog", textValue("old"));
    setValue(kInstall + "\\Short", "Version", textValue("12"));          // 3 bytes with the null
    setValue(kInstall + "\\Long", "Version", textValue("1.2.3"));
    setValue(kInstall + "\\Long", "LastUpdate", {REG_BINARY, "20040101"});
    setValue(kInstall + "\\Kept", "ZEM", numberValue(7));
    setValue(kInstall + "\\Kept", "RegVersion", {REG_MULTI_SZ, std::string("1\0\0", 3)});
    setValue(kInstall + "\\Kept", "DeviceInfo", {REG_MULTI_SZ, std::string("d\0\0", 3)});
    setValue(kInstall + "\\OTHER", "ZEM", {REG_BINARY, "eight by"});  // too long for a number

    EXPECT_EQ(1, migrateInstallRecords());
    EXPECT_EQ(numberValue(0x200), storedValue(kInstall + "\\PkgMgr", "ZEM"));
    EXPECT_EQ(numberValue(0x100), storedValue(kInstall + "\\OTHER", "ZEM"));
    EXPECT_EQ(numberValue(7), storedValue(kInstall + "\\Kept", "ZEM"));
    for (const char* item : {"PkgMgr", "OTHER", "Short", "Long"}) {
        EXPECT_EQ(emptyList, storedValue(kInstall + "\\" + item, "RegVersion")) << item;
        EXPECT_EQ(emptyList, storedValue(kInstall + "\\" + item, "DeviceInfo")) << item;
    }
    EXPECT_EQ(StoredValue(REG_MULTI_SZ, std::string("1\0\0", 3)), storedValue(kInstall + "\\Kept", "RegVersion"));
    for (const char* item : {"PkgMgr", "OTHER", "Short", "Long", "Kept"})
        EXPECT_EQ(kNone, storedValue(kInstall + "\\" + item, "Catalog")) << item;
    EXPECT_EQ(zeros, storedValue(kInstall + "\\Short", "LastUpdate"));
    EXPECT_EQ(StoredValue(REG_BINARY, "20040101"), storedValue(kInstall + "\\Long", "LastUpdate"));
    EXPECT_EQ(kNone, storedValue(kInstall + "\\PkgMgr", "LastUpdate"));  // no "Version"
    deleteTree(kInstall);
}

int refusedCreations;
int createCalls;
LONG WINAPI refuseCreation(HKEY key, LPCSTR name, DWORD reserved, LPSTR className, DWORD options,
                           REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                           LPDWORD disposition)
{
    if (++createCalls == refusedCreations)
        return ERROR_ACCESS_DENIED;
    return RegCreateKeyExA(key, name, reserved, className, options, access, security, result,
                           disposition);
}

TEST(BrowserButton, SixValuesAndRemoval)
{
    deleteTree(kButton);
    EXPECT_EQ(0, browserButtonExists());
    EXPECT_EQ(1, applyBrowserButton(nullptr, nullptr, nullptr, 0));  // nothing to remove
    EXPECT_EQ(1, applyBrowserButton("C:\\Program Files\\PkgMgr\\\\PkgMgr.exe", "_zemu000.exe,100",
                                    "Software Installer", 1));
    EXPECT_EQ(1, browserButtonExists());
    EXPECT_EQ((Names{"ButtonText", "Default Visible", "Exec", "HotIcon", "Icon", "clsid"}),
              valueNames(kButton));
    EXPECT_EQ(textValue("C:\\Program Files\\PkgMgr\\\\PkgMgr.exe"), storedValue(kButton, "Exec"));
    EXPECT_EQ(textValue("_zemu000.exe,100"), storedValue(kButton, "Icon"));
    EXPECT_EQ(textValue("_zemu000.exe,100"), storedValue(kButton, "HotIcon"));
    EXPECT_EQ(textValue("Software Installer"), storedValue(kButton, "ButtonText"));
    EXPECT_EQ(textValue("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"), storedValue(kButton, "clsid"));
    EXPECT_EQ(textValue("Yes"), storedValue(kButton, "Default Visible"));
    EXPECT_EQ(1, applyBrowserButton(nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(0, browserButtonExists());
    EXPECT_TRUE(keyExists("SOFTWARE\\Microsoft\\Internet Explorer\\Extensions"));
}

TEST(BrowserButton, UnreachableExtensionsKeyIsNoFailureButAMissingButtonKeyIs)
{
    deleteTree(kButton);
    PlatformSeam saved = platform;
    platform.RegCreateKeyExA = refuseCreation;
    createCalls = 0;
    refusedCreations = 1;  // the browser's extensions key
    EXPECT_EQ(1, applyBrowserButton("x", "y", "z", 1));
    createCalls = 0;
    refusedCreations = 2;  // the button's own key
    EXPECT_EQ(0, applyBrowserButton("x", "y", "z", 1));
    platform = saved;
    EXPECT_EQ(0, browserButtonExists());
}

// Step I6 through the run's own code, with the settings file as its input.
class SearchFolderStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        deleteTree(kSearchPath);
        base_ = tempFolder() + "pkgmgr-i6";
        removeTree(base_);
        makeFolders(base_);
        copyText(settingsFilePath, sizeof settingsFilePath, (base_ + "\\ZemSetup.dat").c_str());
        run_ = SetupContext();
        run_.runFlags = 1;
        copyText(run_.downloadFolder, sizeof run_.downloadFolder, "C:\\DRIVERS");
        drive_ = windowsFolder().substr(0, 2);
    }
    void TearDown() override
    {
        deleteTree(kSearchPath);
        removeTree(base_);
    }
    void settings(const std::string& init) { writeFile(settingsFilePath, "[INIT]\r\n" + init); }
    bool registered(const std::string& folder)
    {
        return storedValue(kSearchPath + "\\" + folder, "") == textValue(folder);
    }

    std::string base_;
    std::string drive_;
    SetupContext run_;
};

TEST_F(SearchFolderStep, ExistingSearchFolderServesForDownloads)
{
    makeFolders(base_ + "\\Two");
    settings("DEFAULTSEARCH=" + base_ + "\\One;" + base_ + "\\Two\r\nDOWNLOAD=\\PkgMgrI6Never\r\n");
    EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
    EXPECT_TRUE(registered(base_ + "\\One"));
    EXPECT_TRUE(registered(base_ + "\\Two"));
    EXPECT_STREQ("C:\\DRIVERS", run_.downloadFolder);
    EXPECT_FALSE(exists(drive_ + "\\PkgMgrI6Never"));
}

// The access list that a folder is created with, one "who:rights/inheritance" entry
// after the other: Wine keeps no access lists on folders, so the creation is watched.
std::string downloadAccess;

BOOL WINAPI recordDownloadAccess(LPCSTR path, LPSECURITY_ATTRIBUTES security)
{
    downloadAccess = "none";
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (security && GetSecurityDescriptorDacl(security->lpSecurityDescriptor, &present, &list, &defaulted) &&
        present && list) {
        GetSecurityDescriptorControl(security->lpSecurityDescriptor, &control, &revision);
        downloadAccess = control & SE_DACL_PROTECTED ? "protected" : "open";
        SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
        SID_IDENTIFIER_AUTHORITY creator = {SECURITY_CREATOR_SID_AUTHORITY};
        PSID admins = nullptr, system = nullptr, users = nullptr, owner = nullptr;
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users);
        AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0, 0, 0, &owner);
        const std::pair<PSID, const char*> names[] = {
            {admins, "administrators"}, {system, "system"}, {users, "users"}, {owner, "creator"}};
        for (WORD i = 0; i < list->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* entry = nullptr;
            GetAce(list, i, reinterpret_cast<void**>(&entry));
            std::string who = entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "other" : "denied";
            for (const auto& name : names) {
                if (entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&entry->SidStart, name.first))
                    who = name.second;
            }
            char text[64];
            wsprintfA(text, " %s:%lx/%x", who.c_str(), entry->Mask, entry->Header.AceFlags);
            downloadAccess += text;
        }
        for (const auto& name : names)
            FreeSid(name.first);
    }
    return CreateDirectoryA(path, security);
}

TEST_F(SearchFolderStep, FirstMissingDownloadCandidateIsCreatedAndRegistered)
{
    // Made at the drive's root without the root's entries: every user reads and adds
    // files (folder-only right), the creator (inherit-only) and administrators change them.
    PlatformSeam saved = platform;
    platform.CreateDirectoryA = recordDownloadAccess;
    downloadAccess.clear();
    std::string present = "\\" + base_.substr(3);  // exists, on the Windows drive
    settings("DEFAULTSEARCH=" + base_ + "\\Missing\r\nDOWNLOAD=" + present + ";\\PkgMgrI6New;\\PkgMgrI6Later\r\n");
    removeTree(drive_ + "\\PkgMgrI6New");
    EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
    EXPECT_EQ(drive_ + "\\PkgMgrI6New", run_.downloadFolder);
    EXPECT_TRUE(exists(drive_ + "\\PkgMgrI6New"));
    EXPECT_TRUE(registered(drive_ + "\\PkgMgrI6New"));
    EXPECT_FALSE(exists(drive_ + "\\PkgMgrI6Later"));
    removeTree(drive_ + "\\PkgMgrI6New");
    platform = saved;
    EXPECT_EQ("protected administrators:10000000/3 system:10000000/3 users:a0000000/3 users:6/2 creator:10000000/b",
              downloadAccess);

    // Every candidate present: nothing is made and the last one stays.
    settings("DEFAULTSEARCH=" + base_ + "\\Missing\r\nDOWNLOAD=" + present + "\r\n");
    EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
    EXPECT_EQ(base_, run_.downloadFolder);
    // A list without entries leaves the Windows folder.
    settings("DEFAULTSEARCH=" + base_ + "\\Missing\r\nDOWNLOAD=;\r\n");
    EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
    EXPECT_EQ(windowsFolder(), run_.downloadFolder);
}

// Another user's folder, made first, or made when this run's creation lost the race
// to it.
BOOL WINAPI loseTheRace(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    CreateDirectoryA(path, nullptr);
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

// The application trusts the recorded download folder: a candidate that another user
// made (owner faked: Wine keeps one owner for all), first or by winning the race with
// its creation, or a link that another user made, is not recorded; the Windows folder
// is. An administrator's folder or link is recorded.
TEST_F(SearchFolderStep, DownloadFolderOfAnotherUserIsNotRecorded)
{
    PlatformSeam saved = platform;
    fakeOwnersAndLinks();
    char longBase[MAX_PATH] = "";
    GetLongPathNameA(base_.c_str(), longBase, MAX_PATH);
    const std::string linked = drive_ + "\\PkgMgrI6Link";
    const std::string raced = drive_ + "\\PkgMgrI6Raced";
    removeLink(linked);
    ASSERT_TRUE(makeLink(linked, base_));
    const struct {
        std::string candidate;
        FakeOwner owner;  // of base_, also as the link's handle names it
        std::string recorded;
    } cases[] = {
        {"\\" + base_.substr(3), FakeOwner::otherUser, windowsFolder()},
        {"\\" + base_.substr(3), FakeOwner::administrators, base_},
        {"\\PkgMgrI6Link", FakeOwner::otherUser, windowsFolder()},
        {"\\PkgMgrI6Link", FakeOwner::administrators, linked},
    };
    for (const auto& c : cases) {
        settings("DEFAULTSEARCH=" + base_ + "\\Missing\r\nDOWNLOAD=" + c.candidate + "\r\n");
        fakedNames = {{longBase, c.owner, 0}};
        EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
        EXPECT_EQ(c.recorded, run_.downloadFolder) << c.candidate;
    }
    removeTree(raced);
    platform.CreateDirectoryA = loseTheRace;
    fakedNames = {{raced, FakeOwner::otherUser, 0}};
    settings("DEFAULTSEARCH=" + base_ + "\\Missing\r\nDOWNLOAD=\\PkgMgrI6Raced\r\n");
    EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
    EXPECT_EQ(windowsFolder(), run_.downloadFolder);
    EXPECT_FALSE(registered(raced));
    platform = saved;
    fakedNames.clear();
    removeTree(raced);
    removeLink(linked);
}

UINT WINAPI noWindowsFolder(LPSTR, UINT)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

// What the application will trust is made or checked, whichever way it was chosen: the
// default or a candidate that is missing is made as a download folder; a "DownloadDir"
// kept from earlier is checked (and made when missing) too. A refused one gives way to
// the Windows folder, and to nothing at all when the Windows folder cannot be named.
TEST_F(SearchFolderStep, TheRecordedDownloadFolderIsMadeOrCheckedWhateverChoseIt)
{
    const std::string product = kProductKeyPath;
    const std::string made = drive_ + "\\PkgMgrI6Default";
    PlatformSeam saved = platform;
    fakeOwnersAndLinks();
    platform.CreateDirectoryA = recordDownloadAccess;
    char longBase[MAX_PATH] = "";
    GetLongPathNameA(base_.c_str(), longBase, MAX_PATH);
    const struct {
        const char* what;
        std::string chosen, kept;
        FakeOwner owner;  // of base_
        bool windowsFolderNamed;
        std::string used;  // what the run then records or keeps ("": nothing)
    } cases[] = {
        {"the default, missing", made, "", FakeOwner::otherUser, true, made},
        {"kept, another user's", made, base_, FakeOwner::otherUser, true, windowsFolder()},
        {"kept, an administrator's", made, base_, FakeOwner::administrators, true, base_},
        {"kept, missing", base_, made, FakeOwner::otherUser, true, made},
        {"another user's, no Windows folder", base_, "", FakeOwner::otherUser, false, ""},
        {"kept, another user's, no Windows folder", made, base_, FakeOwner::otherUser, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        removeTree(made);
        deleteTree(product);
        setValue(product, "Version", textValue("1.03.0000"));
        if (!c.kept.empty())
            setValue(product, "DownloadDir", textValue(c.kept));
        fakedNames = {{longBase, c.owner, 0}};
        platform.GetWindowsDirectoryA = c.windowsFolderNamed ? saved.GetWindowsDirectoryA : noWindowsFolder;
        downloadAccess.clear();
        settings("GROUP=x\r\n");  // no DEFAULTSEARCH: the chosen folder stays
        copyText(run_.downloadFolder, sizeof run_.downloadFolder, c.chosen.c_str());
        EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
        EXPECT_EQ(c.used, run_.downloadFolder);
        if (c.used == made) {
            EXPECT_TRUE(exists(made));
            EXPECT_EQ("protected administrators:10000000/3 system:10000000/3 users:a0000000/3 users:6/2 "
                      "creator:10000000/b",
                      downloadAccess);
        }
        EXPECT_EQ(1, applyInternetSettings(1, run_.downloadFolder, 1));
        EXPECT_EQ(c.used.empty() ? kNone : textValue(c.used), storedValue(product, "DownloadDir"));
    }
    platform = saved;
    fakedNames.clear();
    removeTree(made);
    deleteTree(product);
}

TEST_F(SearchFolderStep, EmptyPiecesAreSkippedAndFailuresComeAfterTheWalk)
{
    setValue(kSearchPath + "\\C:\\Earlier", "", textValue("C:\\Earlier"));
    std::string overlong = "C:\\" + std::string(240, 'x');
    settings("DEFAULTSEARCH=;C:\\A;;" + overlong + ";C:\\B;\r\n");
    EXPECT_EQ(0, registerSearchFolders(run_.downloadFolder, run_.runFlags));
    EXPECT_TRUE(registered("C:\\A"));
    EXPECT_TRUE(registered("C:\\B"));
    EXPECT_TRUE(registered("C:\\Earlier"));  // no empty piece cleared the search path
    EXPECT_EQ(kNone, storedValue(kSearchPath, ""));

    settings("GROUP=x\r\n");  // no DEFAULTSEARCH: nothing to do
    EXPECT_EQ(1, registerSearchFolders(run_.downloadFolder, run_.runFlags));
}

}  // namespace
