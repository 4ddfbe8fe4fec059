#include "platform/seam.h"

#include <setupapi.h>

PlatformSeam platform = {
    ::OpenProcessToken,
    ::GetTokenInformation,
    ::AdjustTokenPrivileges,
    ::RegCreateKeyExA,
    ::RegSetValueExA,
    ::GetModuleFileNameA,
    ::MoveFileExA,
    ::MessageBoxA,
    ::SetupPromptReboot,
    ::CoCreateInstance,
};
