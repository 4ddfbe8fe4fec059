#include "setup/running_instance.h"

#include <windows.h>
#include <string.h>

#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "setupdata/run_flags.h"

namespace {

// Applications from this version on announce themselves with a mutex, older ones only by window.
const char kFirstMutexVersion[] = "1.03.0000";

// The mutex `name`: 1 when the application holds it (with /O: still, after the wait).
int mutexHeld(const char* name, uint32_t runFlags)
{
    HANDLE opened = platform.OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
    // A mutex that another account holds cannot be opened with full access, but it is
    // there: the application runs. It cannot be waited for either.
    if (opened == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED ? 1 : 0;
    UniqueHandle mutex(opened);
    if (runFlags & kRunWaitAndOpen)
        return WaitForSingleObject(mutex.get(), INFINITE) == WAIT_OBJECT_0 ? 0 : 1;
    return 1;
}

// The mutex under `prefix` and `productName`; traced when the application runs there.
int heldUnder(const char* prefix, const char* productName, uint32_t runFlags)
{
    char name[kPathChars];
    if (!formatText(name, sizeof name, "%s%s", prefix, productName))
        return 0;  // a name this long is no object name either
    if (!mutexHeld(name, runFlags))
        return 0;
    traceCause("the application runs in another session: its mutex is", name);
    return 1;
}

// The session of this process; -1 where the system cannot say (NT 4.0).
long ownSession()
{
    using SessionOf = BOOL(WINAPI*)(DWORD, DWORD*);
    auto sessionOf = procedureOf<SessionOf>(GetModuleHandleA("kernel32.dll"), "ProcessIdToSessionId");
    DWORD session = 0;
    if (sessionOf == nullptr || !sessionOf(GetCurrentProcessId(), &session))
        return -1;
    return long(session);
}

// The other sessions of the machine. A deployment tool runs as the system account in
// session 0 (Vista on), the users' applications in sessions 1 and up, each with its
// mutex in its own session's namespace, which "Session\<id>\" names from session 0
// (the object manager's links of the sessions' folders; where a system lacks them, the
// name is simply not found). The global namespace ("Global\") is session 0's, where a
// user of XP or 2003 may run the application while the run is in another session. The
// sessions are listed by wtsapi32, which Windows 9x and NT 4.0 lack: there nothing
// changes.
int heldInOtherSessions(const char* productName, uint32_t runFlags)
{
    PWTS_SESSION_INFOA sessions = nullptr;
    DWORD count = 0;
    if (!platform.WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
            traceCall("WTSEnumerateSessionsA", GetLastError(), productName);
        return 0;
    }
    long own = ownSession();
    int running = own != 0 && heldUnder("Global\\", productName, runFlags);
    for (DWORD i = 0; i < count && !running; ++i) {
        char prefix[32];
        if (long(sessions[i].SessionId) == own || sessions[i].State == WTSListen ||
            !formatText(prefix, sizeof prefix, "Session\\%u\\", unsigned(sessions[i].SessionId)))
            continue;
        running = heldUnder(prefix, productName, runFlags);
    }
    platform.WTSFreeMemory(sessions);
    return running;
}

}  // namespace

int applicationMutexHeld(const char* productName, uint32_t runFlags)
{
    if (mutexHeld(productName, runFlags))
        return 1;
    return isNtFamily() && heldInOtherSessions(productName, runFlags);
}

int detectRunningInstance(const char* productName, const char* previousVersion, uint32_t runFlags)
{
    if (!productName[0])
        return 0;  // a removal that knows no name any more has no program to wait for
    if (strcmp(previousVersion, kFirstMutexVersion) < 0)
        return FindWindowA(nullptr, productName) != nullptr ? 1 : 0;
    return applicationMutexHeld(productName, runFlags);
}
