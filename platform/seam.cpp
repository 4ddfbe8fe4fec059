#include "platform/seam.h"

#include <setupapi.h>

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
    ::SetupPromptReboot,
    ::CoCreateInstance,
    ::SHFileOperationA,
    ::CreateDirectoryA,
    ::OpenMutexA,
};
