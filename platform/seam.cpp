#include "platform/seam.h"

#include <setupapi.h>

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
    ::SetupPromptReboot,
    ::CoCreateInstance,
    ::SHFileOperationA,
    ::CreateDirectoryA,
    ::OpenMutexA,
};
