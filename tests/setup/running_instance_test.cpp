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

// The session of this process, and the machine's sessions as WTSEnumerateSessionsA
// lists them: this one, two of signed-in users (one disconnected), a listener.
DWORD ownSessionId()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

bool sessionsListed;  // false: the system lists none (Windows 9x, NT 4.0)
WTS_SESSION_INFOA fakeSessions[4];

BOOL WINAPI listSessions(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA* sessions, DWORD* count)
{
    if (!sessionsListed) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    DWORD own = ownSessionId();
    const WTS_SESSION_INFOA listed[] = {{own, const_cast<char*>("Console"), WTSActive},
                                        {own + 1, const_cast<char*>("RDP-Tcp#1"), WTSActive},
                                        {own + 2, const_cast<char*>(""), WTSDisconnected},
                                        {65536, const_cast<char*>("RDP-Tcp"), WTSListen}};
    memcpy(fakeSessions, listed, sizeof listed);
    *sessions = fakeSessions;
    *count = 4;
    return TRUE;
}

void WINAPI freeSessions(PVOID) {}

// The names looked up, in order; the application's mutex lies under `mutexPlace`
// (the real mutex of the sample application, opened under its own name), `denied`
// under a name whose mutex another account holds.
std::vector<std::string> lookedUp;
std::string mutexPlace;
std::string denied;

HANDLE WINAPI openInSessions(DWORD access, BOOL inherit, LPCSTR name)
{
    lookedUp.push_back(name);
    if (name == denied) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (name == mutexPlace)
        return OpenMutexA(access, inherit, kProduct);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

TEST(RunningInstance, TheMutexIsLookedForInTheOtherSessionsToo)
{
    RunningApplication application(30000);
    ASSERT_TRUE(application.started());
    SeamGuard guard;
    platform.OpenMutexA = openInSessions;
    platform.WTSEnumerateSessionsA = listSessions;
    platform.WTSFreeMemory = freeSessions;
    DWORD own = ownSessionId();
    std::string global = own != 0 ? std::string("Global\\") + kProduct : "";
    std::string first = "Session\\" + std::to_string(own + 1) + "\\" + kProduct;
    std::string second = "Session\\" + std::to_string(own + 2) + "\\" + kProduct;
    // The run's own namespace first, then the global one (unless that is the run's own),
    // then each other session but the listener's.
    auto names = [&](std::vector<std::string> others) {
        std::vector<std::string> all = {kProduct};
        if (!global.empty())
            all.push_back(global);
        all.insert(all.end(), others.begin(), others.end());
        return all;
    };
    const struct {
        const char* what;
        bool listed;
        std::string place, denied;
        int running;
        std::vector<std::string> names;
    } cases[] = {
        {"in a user's session", true, second, "", 1, names({first, second})},
        {"in a disconnected one, denied", true, "", second, 1, names({first, second})},
        {"in the global namespace", true, global, "", own != 0, own != 0 ? names({}) : names({first, second})},
        {"nowhere", true, "", "", 0, names({first, second})},
        {"no sessions on this system", false, second, "", 0, {kProduct}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sessionsListed = c.listed;
        mutexPlace = c.place;
        denied = c.denied;
        lookedUp.clear();
        EXPECT_EQ(c.running, detectRunningInstance(kProduct, "1.03.0000", kRunInstall));
        EXPECT_EQ(c.names, lookedUp);
    }
}

// With /O the run waits for the application in another session as for its own.
TEST(RunningInstance, WaitAndOpenWaitsForTheMutexOfAnotherSession)
{
    RunningApplication application(1500);
    ASSERT_TRUE(application.started());
    SeamGuard guard;
    platform.OpenMutexA = openInSessions;
    platform.WTSEnumerateSessionsA = listSessions;
    platform.WTSFreeMemory = freeSessions;
    sessionsListed = true;
    mutexPlace = "Session\\" + std::to_string(ownSessionId() + 2) + "\\" + kProduct;
    denied.clear();
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
