// Recognising the running application: the sample application holds a window and
// a mutex named after the product, as the real one does.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/resource.h"
#include "setup/run_test_support.h"
#include "setup/progress.h"
#include "setup/run.h"
#include "setupdata/run_flags.h"
#include "setupdata/setup_data.h"

namespace {

const char kProduct[] = "PkgMgr Running Instance Test";

// Starts the sample application holding its names for `milliseconds`.
class RunningApplication {
public:
    explicit RunningApplication(unsigned milliseconds)
    {
        std::string line = "\"" + binFolder() + "\\PkgMgr.exe\" /hold \"" + kProduct + "\" /for " +
                           std::to_string(milliseconds);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_) != 0;
        for (int i = 0; started_ && i < 200 && FindWindowA(nullptr, kProduct) == nullptr; ++i)
            Sleep(25);
    }
    ~RunningApplication()
    {
        if (!started_)
            return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 5000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    RunningApplication(const RunningApplication&) = delete;
    RunningApplication& operator=(const RunningApplication&) = delete;
    bool started() const { return started_ && FindWindowA(nullptr, kProduct) != nullptr; }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_ = {};
};

TEST(RunningInstance, NothingRunning)
{
    for (const char* version : {"", "1.02.0000", "1.03.0000", "2.00.0000"})
        EXPECT_EQ(0, detectRunningInstance(kProduct, version, kRunInstall)) << version;
}

TEST(RunningInstance, FoundByWindowBeforeVersion103AndByMutexFromThenOn)
{
    RunningApplication application(30000);
    ASSERT_TRUE(application.started());
    for (const char* version : {"", "1.02.0000", "1.02.9999", "0.99", "1.03.0000", "1.03.0001", "3.00.0000"})
        EXPECT_EQ(1, detectRunningInstance(kProduct, version, kRunInstall)) << version;
    // Another name is another application.
    EXPECT_EQ(0, detectRunningInstance("PkgMgr Other", "", kRunInstall));
    EXPECT_EQ(0, detectRunningInstance("PkgMgr Other", "1.03.0000", kRunInstall));
}

// What OpenMutexA answers, through the seam: a mutex that another account holds
// cannot be opened, but it is there.
DWORD mutexError;
HANDLE WINAPI failOpenMutex(DWORD, BOOL, LPCSTR)
{
    SetLastError(mutexError);
    return nullptr;
}

TEST(RunningInstance, AMutexThatCannotBeOpenedIsThereUnlessItIsMissing)
{
    SeamGuard guard;
    platform.OpenMutexA = failOpenMutex;
    const struct {
        DWORD error;
        int running;
    } cases[] = {{ERROR_ACCESS_DENIED, 1}, {ERROR_FILE_NOT_FOUND, 0}, {ERROR_INVALID_NAME, 0}};
    for (const auto& c : cases) {
        mutexError = c.error;
        for (uint32_t flags : {uint32_t(kRunInstall), uint32_t(kRunInstall | kRunWaitAndOpen)})
            EXPECT_EQ(c.running, detectRunningInstance(kProduct, "1.03.0000", flags)) << c.error;
    }
}

TEST(RunningInstance, WaitAndOpenWaitsForTheMutex)
{
    RunningApplication application(1500);
    ASSERT_TRUE(application.started());
    DWORD start = GetTickCount();
    // The application releases its mutex when it ends: the run may then go on.
    EXPECT_EQ(0, detectRunningInstance(kProduct, "1.03.0000", kRunInstall | kRunWaitAndOpen));
    EXPECT_GE(GetTickCount() - start, 1000u);
}

TEST(ProgressWindow, StartsAtZeroOfEightWithTheInstallationTitle)
{
    moduleInstance = GetModuleHandleA(nullptr);
    HWND window = openProgressWindow();
    ASSERT_NE(nullptr, window);
    char title[260] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("Installation Program", title);
    PBRANGE range = {};
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_GETRANGE, FALSE, LPARAM(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(8, range.iHigh);
    EXPECT_EQ(0, SendDlgItemMessageA(window, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    EXPECT_TRUE(IsWindowVisible(window));
    advanceProgress(window, 5, false);
    EXPECT_EQ(5, SendDlgItemMessageA(window, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    DestroyWindow(window);
}

}  // namespace
