// Recognising the running application: the sample application holds a window and
// a mutex named after the product, as the real one does.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/seam.h"
#include "resources/resource.h"
#include "setup/run_test_support.h"
#include "setup/progress.h"
#include "setup/run.h"
#include "setup/running_instance.h"
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

// ---- Other sessions, through the seam: Wine has one session ----

// The machine's sessions as listed: this one, a user's, a disconnected one, a listener;
// none where the system cannot list them (Windows 9x, NT 4.0).
bool sessionsListed;
DWORD own;
WTS_SESSION_INFOA fakeSessions[4];

BOOL WINAPI listSessions(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA* sessions, DWORD* count)
{
    static char name[] = "";
    const WTS_SESSION_INFOA listed[] = {
        {own, name, WTSActive}, {own + 1, name, WTSActive}, {own + 2, name, WTSDisconnected}, {65536, name, WTSListen}};
    memcpy(fakeSessions, listed, sizeof listed);
    *sessions = fakeSessions;
    *count = 4;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return sessionsListed;
}

// The names looked up, in order. The sample application's real mutex lies under
// `mutexPlace`; one that another account holds under `denied`.
std::vector<std::string> lookedUp;
std::string mutexPlace, denied;

HANDLE WINAPI openInSessions(DWORD access, BOOL inherit, LPCSTR name)
{
    lookedUp.push_back(name);
    SetLastError(name == denied ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return name == mutexPlace ? OpenMutexA(access, inherit, kProduct) : nullptr;
}

TEST(RunningInstance, TheMutexIsLookedForInTheOtherSessionsAndWaitedForThere)
{
    SeamGuard guard;
    platform.OpenMutexA = openInSessions;
    platform.WTSEnumerateSessionsA = listSessions;
    platform.WTSFreeMemory = [](PVOID) WINAPI {};
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    // The run's own namespace, the global one unless that is the run's own, then each
    // other session but the listener's.
    std::string global = own != 0 ? std::string("Global\\") + kProduct : "";
    std::string user = "Session\\" + std::to_string(own + 1) + "\\" + kProduct;
    std::string away = "Session\\" + std::to_string(own + 2) + "\\" + kProduct;
    std::vector<std::string> all = {kProduct, global, user, away};
    if (global.empty())
        all.erase(all.begin() + 1);
    const struct {
        const char* what;
        bool listed;
        std::string place, denied;
        int running;
        std::vector<std::string> names;
    } cases[] = {
        {"in a disconnected session", true, away, "", 1, all},
        {"in a user's session, denied", true, "", user, 1, {all.begin(), all.end() - 1}},
        {"nowhere", true, "", "", 0, all},
        {"no sessions on this system", false, away, "", 0, {kProduct}},
    };
    {
        RunningApplication application(30000);
        ASSERT_TRUE(application.started());
        for (const auto& c : cases) {
            sessionsListed = c.listed;
            mutexPlace = c.place;
            denied = c.denied;
            lookedUp.clear();
            EXPECT_EQ(c.running, detectRunningInstance(kProduct, "1.03.0000", kRunInstall)) << c.what;
            EXPECT_EQ(c.names, lookedUp) << c.what;
        }
    }
    // With /O the run waits for the application in another session as for its own.
    RunningApplication ending(1500);
    ASSERT_TRUE(ending.started());
    sessionsListed = true;
    mutexPlace = away;
    DWORD start = GetTickCount();
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
