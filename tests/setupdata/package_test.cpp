// setup.exe run silently from real setup folders, as a deployment script runs it.
// Each suite runs in a prefix emulating one Windows version (tests/setupdata/CMakeLists.txt).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "setup/run_test_support.h"

namespace {

void writeFile(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

const char kSettings[] = "[INIT]\r\nTARGET=PkgMgr\r\nGROUP=%GROUP%\r\n[STRINGS]\r\nGROUP=Package Manager\r\n";
const char kRelease[] = "[RELEASE]\r\nNAME=Package Manager\r\nVERSION=1.03.0000\r\n[ZEM]\r\nXRELEASE=1\r\n";
const char kDescriptor[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<build><zem id=\"PKGMGR\"><xrelease>"
    "<release id=\"RELEASE\"><title>Package Manager</title><version>1.03.0000</version>"
    "</release></xrelease></zem></build>\r\n";

// A setup folder with setup.exe, the Unicode layer and the given data files
// (name, text; a null text leaves the file out).
std::string makePackage(const char* name, std::initializer_list<std::pair<const char*, const char*>> files)
{
    std::string folder = "C:\\packages\\" + std::string(name);
    CreateDirectoryA("C:\\packages", nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_TRUE(CopyFileA((binFolder() + "\\setup.exe").c_str(), (folder + "\\setup.exe").c_str(), FALSE));
    EXPECT_TRUE(CopyFileA((binFolder() + "\\unicows.dll").c_str(), (folder + "\\unicows.dll").c_str(), FALSE));
    for (const auto& file : files) {
        if (file.second)
            writeFile(folder + "\\" + file.first, file.second);
    }
    return folder;
}

DWORD runSilently(const std::string& folder, const char* options = "/S")
{
    return runProcess(folder + "\\setup.exe", options, folder.c_str());
}

void expectOutcome(const std::string& folder, DWORD code, const char* value)
{
    deleteResultValue();
    EXPECT_EQ(code, runSilently(folder)) << folder;
    EXPECT_EQ(value, readResultValue()) << folder;
}

// Valid packages in both modes get past the setup data and stop at the system gate.
TEST(ValidPackageOnOldSystem, ReachesTheSystemCheck)
{
    expectOutcome(makePackage("settings", {{"ZemSetup.dat", kSettings}, {"PkgMgr.zem", kRelease}}), 15,
                  "000F");
    expectOutcome(makePackage("descriptor", {{"ZemSetup.dat", kSettings}, {"QUVOZEM.xml", kDescriptor}}),
                  15, "000F");
    // A broken descriptor does not matter while the release file is usable.
    expectOutcome(makePackage("both", {{"ZemSetup.dat", kSettings},
                                       {"PkgMgr.zem", kRelease},
                                       {"QUVOZEM.xml", "<?xml version=\"1.0\"?><broken"}}),
                  15, "000F");
}

// Missing or broken setup data fails first, whatever the system.
TEST(BrokenPackage, EndsInInitialization)
{
    expectOutcome(makePackage("no-settings", {{"PkgMgr.zem", kRelease}, {"QUVOZEM.xml", kDescriptor}}),
                  8, "0008");
    expectOutcome(makePackage("no-release", {{"ZemSetup.dat", kSettings}}), 8, "0008");
    expectOutcome(makePackage("empty-xrelease",
                              {{"ZemSetup.dat", kSettings}, {"PkgMgr.zem", "[ZEM]\r\nXRELEASE=\r\n"}}),
                  8, "0008");
    expectOutcome(makePackage("empty-descriptor", {{"ZemSetup.dat", kSettings}, {"QUVOZEM.xml", ""}}), 8,
                  "0008");
    expectOutcome(makePackage("broken-descriptor", {{"ZemSetup.dat", kSettings},
                                                    {"QUVOZEM.xml", "<?xml version=\"1.0\"?><build><a></b></build>"}}),
                  8, "0008");
}

}  // namespace
