#include "platform/system.h"

namespace {

using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

const DWORD kSearchSystemFolder = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

GetFolderPath lookUp(const char* module)
{
    HMODULE library = GetModuleHandleA(module);
    if (library == nullptr)
        library = LoadLibraryA(module);
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<GetFolderPath>(
        reinterpret_cast<void*>(GetProcAddress(library, "SHGetFolderPathA")));
}

}  // namespace

OSVERSIONINFOA systemVersion()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version;
}

bool isNtFamily()
{
    return systemVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool restrictDllSearchToSystemFolder()
{
    // Windows 9x loads the Unicode layer from the setup folder, so a system that
    // reports that family keeps its search, whatever its kernel exports.
    if (!isNtFamily())
        return false;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return false;
    auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDefaultDllDirectories && setDefaultDllDirectories(kSearchSystemFolder);
}

int shellFolderPath(int csidl, char* out)
{
    static GetFolderPath function;
    if (function == nullptr)
        function = lookUp("shell32.dll");
    if (function == nullptr)
        function = lookUp("shfolder.dll");
    out[0] = '\0';
    return function && SUCCEEDED(function(nullptr, csidl, nullptr, 0, out)) && out[0] != '\0';
}
