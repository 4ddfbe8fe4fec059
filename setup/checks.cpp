#include "setup/checks.h"

#include <windows.h>

#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/trusted_names.h"

// A failed version query leaves platform id 0, which no check accepts.
int checkPlatform()
{
    OSVERSIONINFOA info = systemVersion();
    int supported = 0;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
        supported = info.dwMajorVersion >= 4 ? 1 : 0;
    else if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        supported = (info.dwMajorVersion == 4 && info.dwMinorVersion == 0) ? 0 : 1;  // Windows 95
    if (!supported) {
        char version[64];
        formatText(version, sizeof version, "platform %u, version %u.%u", unsigned(info.dwPlatformId),
                   unsigned(info.dwMajorVersion), unsigned(info.dwMinorVersion));
        traceCause("this system is not supported", version);
    }
    return supported;
}

int checkServicePack()
{
    OSVERSIONINFOA info = systemVersion();
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT || info.dwMajorVersion != 4)
        return 1;
    size_t length = boundedLength(info.szCSDVersion, sizeof info.szCSDVersion);
    if (length == 0)
        return 1;
    // Only the last character of "Service Pack N" is looked at, as a signed character.
    signed char last = static_cast<signed char>(info.szCSDVersion[length - 1]);
    if (last < '4')
        traceCause("NT 4.0 needs Service Pack 4 or later; this one has", info.szCSDVersion);
    return last < '4' ? 0 : 1;
}

int isAdministrator()
{
    UniqueHandle token;
    if (!platform.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return 0;
    DWORD size = 0;
    if (!platform.GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    UniqueGlobal block(GlobalAlloc(GMEM_ZEROINIT, size));
    if (!block)
        return 0;
    auto* groups = static_cast<TOKEN_GROUPS*>(static_cast<void*>(block.get()));
    if (!platform.GetTokenInformation(token.get(), TokenGroups, groups, size, &size))
        return 0;
    token.reset();

    WellKnownSids sids;
    if (!wellKnownSids(sids))
        return 0;
    // A group kept only for denying access is present but not enabled: it does not count.
    int answer = 0;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(groups->Groups[i].Sid, sids.administrators.get()) &&
            (groups->Groups[i].Attributes & SE_GROUP_ENABLED))
            answer = 1;
    }
    return answer;
}

int enableTakeOwnership()
{
    UniqueHandle token;
    if (!platform.OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                   token.put()))
        return 0;
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof privileges);
    if (!LookupPrivilegeValueA(nullptr, "SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid))
        return 0;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Success of the call is the answer; a token without the privilege still passes.
    return platform.AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) ? 1
                                                                                                : 0;
}
