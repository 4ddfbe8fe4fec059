// The operating-system checks on emulated Windows versions. Each test suite is run
// in its own Wine prefix set to that version (see tests/CMakeLists.txt).
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include "run_test_support.h"
#include "setup/checks.h"
#include "setup/context.h"
#include "setup/run.h"
#include "setupdata/setup_data.h"

namespace {

OSVERSIONINFOA version()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info;
}

int dataFound(HINSTANCE instance, uint32_t)
{
    moduleInstance = instance;
    return 1;
}

int optionsAccepted(int32_t* cancelled, InstallSettings* settings, char*, uint32_t)
{
    *cancelled = 0;
    lstrcpynA(settings->productName, "PkgMgr checks test (not running)", 260);
    return 1;
}

// Runs the entry routine with the setup data and options standing in, as far as
// the checks let it; returns the exit code and checks it against the stored value.
int runPastTheData(const char* commandLine)
{
    SeamGuard guard;
    recordMessages();
    setupSteps.locateSetupData = dataFound;
    setupSteps.runOptionsStep = optionsAccepted;
    int code = runSetup(commandLine);
    char text[16];
    wsprintfA(text, "%04X", code);
    EXPECT_EQ(text, readResultValue());
    return code;
}

void expectSystem(DWORD platformId, DWORD major, DWORD minor)
{
    OSVERSIONINFOA info = version();
    ASSERT_EQ(platformId, info.dwPlatformId) << "the Wine prefix does not emulate this system";
    ASSERT_EQ(major, info.dwMajorVersion);
    ASSERT_EQ(minor, info.dwMinorVersion);
}

TEST(Windows95, RefusedWithUnsupportedSystem)
{
    expectSystem(VER_PLATFORM_WIN32_WINDOWS, 4, 0);
    EXPECT_EQ(0, checkPlatform());
    EXPECT_EQ(1, checkServicePack());
    EXPECT_EQ(15, runPastTheData("/S"));
    EXPECT_EQ(15, runPastTheData("/S /U"));
    // Shown under its own caption.
    SeamGuard guard;
    recordMessages();
    setupSteps.locateSetupData = dataFound;
    EXPECT_EQ(15, runSetup(""));
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ("This operating system is not supported.", shownMessages[0].text);
    EXPECT_EQ("Can not start the installation.", shownMessages[0].caption);
    EXPECT_EQ(UINT(MB_ICONWARNING), shownMessages[0].type);
}

TEST(WindowsNT351, RefusedWithUnsupportedSystem)
{
    expectSystem(VER_PLATFORM_WIN32_NT, 3, 51);
    EXPECT_EQ(0, checkPlatform());
    EXPECT_EQ(15, runPastTheData("/S"));
    EXPECT_EQ(15, runPastTheData("/S /U"));
}

TEST(WindowsNT4SP3, InstallRefusedForServicePack)
{
    expectSystem(VER_PLATFORM_WIN32_NT, 4, 0);
    ASSERT_STREQ("Service Pack 3", version().szCSDVersion);
    EXPECT_EQ(1, checkPlatform());
    EXPECT_EQ(0, checkServicePack());
    EXPECT_EQ(13, runPastTheData("/S"));
    // A removal does not pass this gate: it goes on to its phases.
    int removal = runPastTheData("/S /U");
    EXPECT_NE(13, removal);
    EXPECT_NE(15, removal);
    EXPECT_NE(8, removal);

    SeamGuard guard;
    recordMessages();
    setupSteps.locateSetupData = dataFound;
    setupSteps.runOptionsStep = optionsAccepted;
    EXPECT_EQ(13, runSetup(""));
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ(
        "Please install Microsoft Windows NT4.0 Service Pack 4 or later, before installing this "
        "program.",
        shownMessages[0].text);
    EXPECT_EQ("Can not start the installation.", shownMessages[0].caption);
}

// Systems that pass both gates: an installation gets past the service-pack check.
void expectAccepted()
{
    EXPECT_EQ(1, checkPlatform());
    EXPECT_EQ(1, checkServicePack());
    int install = runPastTheData("/S");
    EXPECT_NE(15, install);
    EXPECT_NE(13, install);
    EXPECT_NE(8, install);
}

TEST(Windows98, Accepted)
{
    expectSystem(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    expectAccepted();
}

TEST(WindowsMe, Accepted)
{
    expectSystem(VER_PLATFORM_WIN32_WINDOWS, 4, 90);
    expectAccepted();
}

TEST(WindowsNT4SP6a, Accepted)
{
    expectSystem(VER_PLATFORM_WIN32_NT, 4, 0);
    EXPECT_STREQ("Service Pack 6a", version().szCSDVersion);
    expectAccepted();
}

TEST(Windows2000, Accepted)
{
    expectSystem(VER_PLATFORM_WIN32_NT, 5, 0);
    expectAccepted();
}

TEST(WindowsXP, Accepted)
{
    expectSystem(VER_PLATFORM_WIN32_NT, 5, 1);
    expectAccepted();
}

TEST(Windows7, Accepted)
{
    expectSystem(VER_PLATFORM_WIN32_NT, 6, 1);
    expectAccepted();
}

}  // namespace
