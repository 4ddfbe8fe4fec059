#include "platform/seam.h"

#include "platform/libraries.h"
#include "platform/system.h"

namespace {

// The functions of DLLs loaded at run time (platform/libraries.h), called through the
// table that was filled after the DLL search was narrowed.
INT WINAPI promptReboot(void* fileQueue, HWND owner, BOOL scanOnly)
{
    return systemLibraries().SetupPromptReboot(fileQueue, owner, scanOnly);
}

HRESULT WINAPI createInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                              LPVOID* object)
{
    return systemLibraries().CoCreateInstance(classId, outer, context, interfaceId, object);
}

int WINAPI fileOperation(LPSHFILEOPSTRUCTA operation)
{
    return systemLibraries().SHFileOperationA(operation);
}

using GetSecurityInfoFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                               PACL*, PACL*, PSECURITY_DESCRIPTOR*);

DWORD WINAPI handleSecurityInfo(HANDLE handle, SE_OBJECT_TYPE kind, SECURITY_INFORMATION wanted, PSID* owner,
                                PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    auto function = procedureOf<GetSecurityInfoFunction>(GetModuleHandleA("advapi32.dll"), "GetSecurityInfo");
    if (function == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return function(handle, kind, wanted, owner, group, dacl, sacl, descriptor);
}

using EnumerateSessionsFunction = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA*, DWORD*);
using FreeMemoryFunction = void(WINAPI*)(PVOID);

// wtsapi32 from the system folder, loaded on the first call only: a run that finds the
// application's mutex in its own session never needs it.
HMODULE sessionLibrary()
{
    static HMODULE library;
    static bool looked;
    if (!looked) {
        looked = true;
        library = isNtFamily() ? loadSystemLibrary("wtsapi32.dll") : nullptr;
    }
    return library;
}

BOOL WINAPI enumerateSessions(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOA* sessions,
                              DWORD* count)
{
    auto function = procedureOf<EnumerateSessionsFunction>(sessionLibrary(), "WTSEnumerateSessionsA");
    if (function == nullptr) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return function(server, reserved, version, sessions, count);
}

void WINAPI freeSessionMemory(PVOID memory)
{
    auto function = procedureOf<FreeMemoryFunction>(sessionLibrary(), "WTSFreeMemory");
    if (function != nullptr)
        function(memory);
}

}  // namespace

#include "platform/narrow_paths.h"

PlatformSeam platform = {
    ::OpenProcessToken,
    ::GetTokenInformation,
    ::AdjustTokenPrivileges,
    ::RegCreateKeyExA,
    ::RegSetValueExA,
    ::RegDeleteValueA,
    losslessModuleFileName,
    ::MoveFileExA,
    ::MessageBoxA,
    promptReboot,
    createInstance,
    fileOperation,
    ::CreateDirectoryA,
    ::OpenMutexA,
    handleSecurityInfo,
    ::CreateFileA,
    ::GetFileInformationByHandle,
    ::GetFileAttributesA,
    ::GetWindowsDirectoryA,
    enumerateSessions,
    freeSessionMemory,
};
