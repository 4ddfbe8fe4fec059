// Finding and reading the setup data, against real files under Wine.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include <string>

#include "platform/seam.h"
#include "setupdata/settings.h"
#include "setupdata/setup_data.h"

namespace {

std::string packageFolder;  // where the setup "runs" from during a test

DWORD WINAPI fakeModulePath(HMODULE, LPSTR path, DWORD size)
{
    std::string exe = packageFolder + "\\setup.exe";
    lstrcpynA(path, exe.c_str(), int(size));
    return DWORD(strlen(path));
}

void writeFile(const std::string& name, const std::string& text)
{
    std::string path = packageFolder + "\\" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

bool exists(const std::string& name)
{
    return GetFileAttributesA((packageFolder + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

const char kRelease[] = "[RELEASE]\r\nNAME=Package Manager\r\nVERSION=1.03.0000\r\n[ZEM]\r\nXRELEASE=1\r\n";

// A descriptor naming the release, padded with a comment to exactly `size` bytes.
std::string descriptorOfSize(size_t size)
{
    std::string prolog = "<?xml version=\"1.0\"?>";
    std::string root = "<build><zem id=\"PKGMGR\"><xrelease><release id=\"RELEASE\">"
                       "<title>Described</title><version>2.00.0000</version></release></xrelease></zem></build>";
    std::string padding = "<!--" + std::string(size - prolog.size() - root.size() - 7, '.') + "-->";
    return prolog + padding + root;
}

class SetupData : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = platform;
        platform.GetModuleFileNameA = fakeModulePath;
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        packageFolder = std::string(temp) + "pkgmgr-data-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(packageFolder.c_str(), nullptr);
        for (const char* name : {"ZemSetup.dat", "PkgMgr.zem", "QUVOZEM.xml"})
            DeleteFileA((packageFolder + "\\" + name).c_str());
        settingsFilePath[0] = releaseFilePath[0] = '\0';
        descriptorMode = 0;
    }
    void TearDown() override
    {
        releaseSetupData();
        descriptorMode = 0;
        platform = saved_;
    }

    int locate(uint32_t runFlags = 1) { return locateSetupData(GetModuleHandleA(nullptr), runFlags); }

    PlatformSeam saved_;
};

TEST_F(SetupData, RemovalNeedsNoFilesButRecordsTheLanguage)
{
    systemProfile.language = systemProfile.primaryLanguage = 0;
    EXPECT_EQ(1, locate(0));
    EXPECT_EQ(GetSystemDefaultLangID(), systemProfile.language);
    EXPECT_EQ(GetSystemDefaultLangID() & 0x3FF, systemProfile.primaryLanguage);
    EXPECT_EQ(nullptr, descriptorTree);
    EXPECT_STREQ("", settingsFilePath);
}

TEST_F(SetupData, UsableReleaseFileWinsOverTheDescriptor)
{
    writeFile("ZemSetup.dat", "[INIT]\r\nTARGET=PkgMgr\r\n");
    writeFile("PkgMgr.zem", kRelease);
    writeFile("QUVOZEM.xml", "<?xml version=\"1.0\"?><broken>");
    EXPECT_EQ(1, locate());
    EXPECT_EQ(nullptr, descriptorTree);
    EXPECT_EQ(0, descriptorMode);
    EXPECT_EQ(packageFolder + "\\ZemSetup.dat", settingsFilePath);
    EXPECT_EQ(packageFolder + "\\PkgMgr.zem", releaseFilePath);
    char name[260] = "", version[260] = "";
    EXPECT_EQ(1, readReleaseIdentity(name, version));
    EXPECT_STREQ("Package Manager", name);
    EXPECT_STREQ("1.03.0000", version);
}

TEST_F(SetupData, AFolderWithASemicolonInItsNameIsOneFolder)
{
    // Setup data in "...semi" must not serve a setup run from "...semi;b".
    const std::string decoy = packageFolder + "-semi";
    packageFolder = decoy;
    CreateDirectoryA(packageFolder.c_str(), nullptr);
    writeFile("ZemSetup.dat", "[INIT]\r\nTARGET=PkgMgr\r\n");
    writeFile("PkgMgr.zem", kRelease);
    packageFolder = decoy + ";b";
    CreateDirectoryA(packageFolder.c_str(), nullptr);
    EXPECT_EQ(0, locate());
    writeFile("ZemSetup.dat", "[INIT]\r\nTARGET=PkgMgr\r\n");
    writeFile("PkgMgr.zem", kRelease);
    EXPECT_EQ(1, locate());
    EXPECT_EQ(packageFolder + "\\ZemSetup.dat", settingsFilePath);
    EXPECT_EQ(packageFolder + "\\PkgMgr.zem", releaseFilePath);
}

TEST_F(SetupData, MissingOrUnusableFilesFail)
{
    writeFile("PkgMgr.zem", kRelease);
    writeFile("QUVOZEM.xml", descriptorOfSize(300));
    EXPECT_EQ(0, locate()) << "no settings file";

    writeFile("ZemSetup.dat", "[INIT]\r\n");
    writeFile("PkgMgr.zem", "[ZEM]\r\nXRELEASE=\r\n[RELEASE]\r\nNAME=x\r\n");
    DeleteFileA((packageFolder + "\\QUVOZEM.xml").c_str());
    EXPECT_EQ(0, locate()) << "empty XRELEASE and no descriptor";
    EXPECT_FALSE(exists("QUVOZEM.xml"));

    writeFile("QUVOZEM.xml", "");
    EXPECT_EQ(0, locate()) << "empty descriptor";
    writeFile("QUVOZEM.xml", "<build><title>no prolog</title></build>");
    EXPECT_EQ(0, locate()) << "no XML declaration";
    writeFile("QUVOZEM.xml", "<?xml version=\"1.0\"?><build><title>open");
    EXPECT_EQ(0, locate()) << "unterminated";
    EXPECT_EQ(nullptr, descriptorTree);
    EXPECT_EQ(0, descriptorMode);
}

TEST_F(SetupData, DescriptorOfAnySizeLoadsWhole)
{
    writeFile("ZemSetup.dat", "[INIT]\r\n");
    for (size_t size : {260u, 520u, 780u, 2600u, 70000u, 200001u}) {
        writeFile("QUVOZEM.xml", descriptorOfSize(size));
        ASSERT_EQ(1, locate()) << size;
        ASSERT_NE(nullptr, descriptorTree);
        EXPECT_EQ(1, descriptorMode);
        EXPECT_EQ(packageFolder + "\\QUVOZEM.xml", releaseFilePath);
        char name[260] = "", version[260] = "";
        EXPECT_EQ(1, readReleaseIdentity(name, version));
        EXPECT_STREQ("Described", name);
        EXPECT_STREQ("2.00.0000", version);
        releaseSetupData();
        EXPECT_EQ(nullptr, descriptorTree);
        EXPECT_EQ(1, descriptorMode) << "the mode outlives the tree";
    }
}

// --- The settings readers ---

class Settings : public SetupData {
protected:
    void SetUp() override
    {
        SetupData::SetUp();
        writeFile("ZemSetup.dat",
                  "[INIT]\r\n"
                  "TITLE=%TITLE%\r\nMISSING=%NOWHERE%\r\nPERCENT=50%\r\nLEADING=%x\r\n"
                  "NESTED=%OUTER%\r\nGROUP=.ignored\r\nDEFAULTSEARCH=%SEARCH%\r\n"
                  "[STRINGS.0807]\r\nTITLE=Swiss\r\n"
                  "[STRINGS.0007]\r\nTITLE=German\r\nONLYPRIMARY=primary\r\n"
                  "[STRINGS]\r\nTITLE=Neutral\r\nOUTER=%INNER%\r\nINNER=inner\r\n"
                  "SEARCH=C:\\One;C:\\Two\r\n");
        writeFile("PkgMgr.zem", kRelease);
        ASSERT_EQ(1, locate());
    }

    std::string value(const char* key, uint16_t language)
    {
        systemProfile.language = language;
        systemProfile.primaryLanguage = language & 0x3FF;
        char out[260] = "untouched";
        int length = readSetupValue("INIT", key, "", out, sizeof out, settingsFilePath);
        if (length == 0)
            return std::string("(0) ") + out;
        EXPECT_EQ(size_t(length), strlen(out));
        return out;
    }
};

TEST_F(Settings, ReferencesResolveByLanguage)
{
    EXPECT_EQ("Swiss", value("TITLE", 0x0807));
    EXPECT_EQ("German", value("TITLE", 0x0407));    // STRINGS.0007 after STRINGS.0407
    EXPECT_EQ("Neutral", value("TITLE", 0x0C0A));   // neither STRINGS.0C0A nor STRINGS.000A
    EXPECT_EQ("Neutral", value("TITLE", 0x0409));
    EXPECT_EQ("(0) untouched", value("MISSING", 0x0807));
    EXPECT_EQ("(0) untouched", value("ABSENT", 0x0807));
    EXPECT_EQ("50%", value("PERCENT", 0x0409));
    EXPECT_EQ("%x", value("LEADING", 0x0409));
    EXPECT_EQ("%INNER%", value("NESTED", 0x0409));  // found text is not resolved again
    EXPECT_EQ("C:\\One;C:\\Two", value("DEFAULTSEARCH", 0x0409));
}

TEST_F(Settings, ReleaseAndRadar)
{
    EXPECT_EQ(1, readRadarSetting() == 0 ? 1 : 0) << "no RADAR section";
    struct Case {
        const char* radar;
        int expected;
    } cases[] = {
        {"FILE=radar.dat\r\n", 1},
        {"FILE=radar.dat\r\nALTFILE=alt.dat\r\n", 1},
        {"FILE=.off\r\nALTFILE=alt.dat\r\n", 2},
        {"ALTFILE=alt.dat\r\n", 2},
        {"ALTFILE=.off\r\n", 0},
        {"FILE=\r\nALTFILE=\r\n", 0},
    };
    for (const Case& c : cases) {
        writeFile("ZemSetup.dat", std::string("[RADAR]\r\n") + c.radar);
        EXPECT_EQ(c.expected, readRadarSetting()) << c.radar;
    }
}

std::string specialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

// The GROUP notations; all-users folders on the NT family, the user's own elsewhere.
void expectMenuGroups(bool nt)
{
    std::string programs = specialFolder(nt ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
    std::string startMenu = specialFolder(nt ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU);
    struct Case {
        const char* group;
        std::string expected;
    } cases[] = {
        {".", programs},
        {".anything\\else", programs},
        {"\\", startMenu},
        {"\\Tools", startMenu + "\\Tools"},
        {"Tools\\Sub", programs + "\\Tools\\Sub"},
        {"%GROUP%", programs + "\\Paketverwaltung"},
    };
    systemProfile.language = 0x0407;
    systemProfile.primaryLanguage = 0x0007;
    for (const Case& c : cases) {
        writeFile("ZemSetup.dat", std::string("[INIT]\r\nGROUP=") + c.group +
                                      "\r\n[STRINGS]\r\nGROUP=Paketverwaltung\r\n");
        char out[260] = "";
        EXPECT_EQ(1, readMenuGroup(out)) << c.group;
        EXPECT_EQ(c.expected, out) << c.group;
    }
    writeFile("ZemSetup.dat", "[INIT]\r\nGROUP=\r\n");
    char out[260] = "untouched";
    EXPECT_EQ(0, readMenuGroup(out));
    EXPECT_STREQ("untouched", out);
    // A group that cannot fit behind the folder fails instead of being cut.
    writeFile("ZemSetup.dat", "[INIT]\r\nGROUP=" + std::string(250, 'g') + "\r\n");
    EXPECT_EQ(0, readMenuGroup(out));
    EXPECT_STREQ("untouched", out);
}

TEST_F(Settings, MenuGroupNotations)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    expectMenuGroups(version.dwPlatformId == VER_PLATFORM_WIN32_NT);
}

TEST_F(Settings, TargetFolderUnderProgramFiles)
{
    char programFiles[260] = "";
    DWORD size = sizeof programFiles;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                                           0, KEY_READ, &key));
    RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(programFiles), &size);
    RegCloseKey(key);

    writeFile("ZemSetup.dat", "[INIT]\r\nTARGET=%T%\r\n[STRINGS]\r\nT=PkgMgr\r\n");
    char out[260] = "";
    EXPECT_EQ(6, readTargetFolder(out));
    EXPECT_EQ(std::string(programFiles) + "\\PkgMgr", out);

    writeFile("ZemSetup.dat", "[INIT]\r\n");
    memset(out, 0, sizeof out);
    EXPECT_EQ(0, readTargetFolder(out));
    EXPECT_EQ(std::string(programFiles) + "\\", out);
}

}  // namespace
