// setup.exe as its own process, as a deployment script runs it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "run_test_support.h"

namespace {

std::string moduleFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

// Copies setup.exe alone into a fresh folder, so that no setup data lies beside it.
std::string lonelySetup()
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "pkgmgr-lonely-setup";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string exe = folder + "\\setup.exe";
    EXPECT_TRUE(CopyFileA((moduleFolder() + "\\setup.exe").c_str(), exe.c_str(), FALSE));
    return exe;
}

DWORD runProcess(const std::string& exe, const char* arguments)
{
    std::string line = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return DWORD(-1);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
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
