// A DLL dropped beside setup.exe (a downloads folder, say) under the name of one that
// the setup loads on demand must not be loaded once the setup has started: from its
// first step on, the process searches only the system folder for DLLs. Windows 9x
// keeps its search, and with it the Unicode layer beside setup.exe.
//
// Wine prefers its own copy of a system DLL to one found beside a program; the
// load-order overrides set here make it take a copy found on the search path first,
// as Windows does for a name outside its known DLLs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>

#include "actions/machine.h"
#include "platform/libraries.h"
#include "setup/run_test_support.h"

namespace {

const char kSetupFolder[] = "C:\\planted\\setup";  // a setup folder with a planted DLL
const char kProbeFolder[] = "C:\\planted\\probe";  // the probe with the planted DLL, no setup data
const char* const kOtherFiles[] = {"ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
                                   "zemlibb.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};

std::string markerPath()
{
    return tempFolder() + "planted-marker.txt";
}

void copyFromBin(const char* name, const std::string& folder, const char* as = nullptr)
{
    std::string target = folder + "\\" + (as ? as : name);
    ASSERT_TRUE(CopyFileA((binFolder() + "\\" + name).c_str(), target.c_str(), FALSE)) << target;
}

// Wine's load order for `dll` in `program`: a copy found on the search path first.
void preferFoundDll(const char* program, const char* dll)
{
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &handle, nullptr));
    const char order[] = "native,builtin";
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(handle, dll, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(order), sizeof order));
    RegCloseKey(handle);
}

// A complete setup folder in settings-file mode, with the planted DLL as `plantedName`
// and, unless that takes its name, the stand-in for the Unicode layer.
void makeSetupFolder(const char* plantedName)
{
    const std::string setup = kSetupFolder;
    removeTree(setup);
    makeFolders(setup);
    copyFromBin("planted_marker.dll", setup, plantedName);
    copyFromBin("setup.exe", setup);
    copyFromBin("PkgMgr.exe", setup, "PkgMgr");
    if (strcmp(plantedName, "unicows.dll") != 0)
        copyFromBin("unicows.dll", setup);
    for (const char* file : kOtherFiles)
        writeFile(setup + "\\" + file, std::string(file) + " payload\r\n");
    writeFile(setup + "\\ZemSetup.dat",
              "[INIT]\r\nTARGET=PkgMgr Planted\r\nGROUP=PkgMgr Planted\r\n");
    writeFile(setup + "\\PkgMgr.zem",
              "[RELEASE]\r\nNAME=PkgMgr Planted\r\nVERSION=1.03.0000\r\n[ZEM]\r\nXRELEASE=1\r\n");
    SetEnvironmentVariableA("PKGMGR_PLANTED_MARKER", markerPath().c_str());
    DeleteFileA(markerPath().c_str());
}

DWORD runSetupIn(const char* folder, const char* options)
{
    return runProcess(std::string(folder) + "\\setup.exe", options, folder);
}

std::string installedApplication()
{
    char programFiles[MAX_PATH] = "";
    ExpandEnvironmentStringsA("%ProgramFiles%", programFiles, sizeof programFiles);
    return readFile(std::string(programFiles) + "\\PkgMgr Planted\\PkgMgr.exe");
}

// "shfolder.dll", which the setup loads on demand where the shell lacks SHGetFolderPathA.
class PlantedDll : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        removeTree("C:\\planted");
        makeFolders(kProbeFolder);
        copyFromBin("planted_marker.dll", kProbeFolder, "shfolder.dll");
        copyFromBin("planted_probe.exe", kProbeFolder);
        preferFoundDll("planted_probe.exe", "shfolder");
        makeSetupFolder("shfolder.dll");
        preferFoundDll("setup.exe", "shfolder");
    }

    void SetUp() override { DeleteFileA(markerPath().c_str()); }
};

// Without the setup's first step, a load by name takes the planted DLL: the
// arrangement really exposes a program to it.
TEST_F(PlantedDll, IsLoadedByAProgramWithTheStartingSearch)
{
    EXPECT_EQ(0u, runProcess(std::string(kProbeFolder) + "\\planted_probe.exe", "", kProbeFolder));
    EXPECT_TRUE(exists(markerPath()));
}

// The same load after the setup's entry routine has started takes the system's DLL.
TEST_F(PlantedDll, IsNotLoadedOnceTheSetupHasStarted)
{
    // 8: the run ends at once for want of setup data beside the probe.
    EXPECT_EQ(8u,
              runProcess(std::string(kProbeFolder) + "\\planted_probe.exe", "/setup", kProbeFolder));
    EXPECT_FALSE(exists(markerPath()));
}

// A whole silent installation from a folder holding the planted DLL works with the
// narrowed search and does not load it.
TEST_F(PlantedDll, SilentInstallationBesideItSucceeds)
{
    deleteResultValue();
    EXPECT_EQ(0u, runSetupIn(kSetupFolder, "/S"));
    EXPECT_EQ("0000", readResultValue());
    EXPECT_TRUE(readFile(binFolder() + "\\PkgMgr.exe") == installedApplication());
    EXPECT_FALSE(exists(markerPath()));
}

// Each system DLL that setup.exe once imported and that is none of the known DLLs of
// every NT version, planted beside it: setup.exe no longer imports it and takes it from
// the system folder at run time, so the planted copy never loads and the installation
// succeeds. (The C runtime, "msvcrt.dll", cannot be planted this way under Wine: Wine's
// own advapi32 imports it and, with the override, takes the planted copy, where Windows
// takes a known DLL's imports from the system folder. That setup.exe no longer imports
// it is checked on the image by scripts/check-shipping-image.sh.)
TEST_F(PlantedDll, FormerStaticImportsAreNotLoaded)
{
    const char* const kNames[] = {"comctl32", "ole32", "shell32", "setupapi"};
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        const std::string file = std::string(name) + ".dll";
        makeSetupFolder(file.c_str());
        preferFoundDll("setup.exe", name);
        deleteResultValue();
        EXPECT_EQ(0u, runSetupIn(kSetupFolder, "/S"));
        EXPECT_EQ("0000", readResultValue());
        EXPECT_FALSE(exists(markerPath()));
    }
}

// Each DLL that the system's DLLs load by name for what the run calls, planted beside
// the probe. With the search of NT 4.0 to Vista (the program's folder first) a load by
// name takes the planted copy; after the setup's entry routine, which took the
// system's copy by full path, it takes that one. Where Wine has no DLL of the name
// ("ntmarta.dll", "cryptbase.dll"), an inert DLL stands in for the system's copy.
TEST_F(PlantedDll, DllsLoadedByNameComeFromTheSystemFolder)
{
    char system[MAX_PATH] = "";
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    for (size_t i = 0; i < kLoadedByNameCount; ++i) {
        const char* name = kLoadedByName[i];
        SCOPED_TRACE(name);
        const std::string systemCopy = std::string(system) + "\\" + name;
        if (!exists(systemCopy)) {
            ASSERT_TRUE(CopyFileA((binFolder() + "\\unicows.dll").c_str(), systemCopy.c_str(), TRUE));
        }
        copyFromBin("planted_marker.dll", kProbeFolder, name);
        preferFoundDll("planted_probe.exe", std::string(name, strlen(name) - 4).c_str());
        const std::string probe = std::string(kProbeFolder) + "\\planted_probe.exe";

        EXPECT_EQ(0u, runProcess(probe, (std::string("/load ") + name).c_str(), kProbeFolder));
        EXPECT_TRUE(exists(markerPath())) << "the arrangement exposes a program to it";
        DeleteFileA(markerPath().c_str());
        EXPECT_EQ(8u, runProcess(probe, (std::string("/setup ") + name).c_str(), kProbeFolder));
        EXPECT_FALSE(exists(markerPath()));
        DeleteFileA((std::string(kProbeFolder) + "\\" + name).c_str());
    }
}

// Windows 9x keeps the search it starts with: the Unicode layer comes from the setup
// folder (here the marking DLL under that name; Wine has a copy of its own in the
// system folder, which a narrowed search would take instead).
TEST(UnicodeLayer9x, IsLoadedFromTheSetupFolder)
{
    makeSetupFolder("unicows.dll");
    preferFoundDll("setup.exe", "unicows");
    deleteResultValue();
    EXPECT_EQ(0u, runSetupIn(kSetupFolder, "/S"));
    EXPECT_EQ("0000", readResultValue());
    EXPECT_TRUE(exists(markerPath()));
}

}  // namespace
