#include "platform/seam.h"

#include "platform/libraries.h"

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

}  // namespace

PlatformSeam platform = {
    ::OpenProcessToken,
    ::GetTokenInformation,
    ::AdjustTokenPrivileges,
    ::RegCreateKeyExA,
    ::RegSetValueExA,
    ::RegDeleteValueA,
    ::GetModuleFileNameA,
    ::MoveFileExA,
    ::MessageBoxA,
    promptReboot,
    createInstance,
    fileOperation,
    ::CreateDirectoryA,
    ::OpenMutexA,
};
