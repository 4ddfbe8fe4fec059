// setup.exe as its own process, as a deployment script runs it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "run_test_support.h"

namespace {

// Copies setup.exe alone into a fresh folder, so that no setup data lies beside it.
std::string lonelySetup()
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "pkgmgr-lonely-setup";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string exe = folder + "\\setup.exe";
    EXPECT_TRUE(CopyFileA((binFolder() + "\\setup.exe").c_str(), exe.c_str(), FALSE));
    return exe;
}

TEST(SetupProcess, SilentRunWithoutSetupDataReportsInitialization)
{
    std::string exe = lonelySetup();
    deleteResultValue();
    EXPECT_EQ(8u, runProcess(exe, "/S"));
    EXPECT_EQ("0008", readResultValue());
}

TEST(SetupProcess, SilentRemovalWithoutRecordsReportsInitialization)
{
    std::string exe = lonelySetup();
    writeResultValue("0000");
    EXPECT_EQ(8u, runProcess(exe, "/S /U"));
    EXPECT_EQ("0008", readResultValue());
    deleteResultValue();
}

}  // namespace
