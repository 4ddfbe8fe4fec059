#include "platform/system.h"

#include "platform/text.h"

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);

const DWORD kSearchSystemFolder = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

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
    auto setDefaultDllDirectories =
        procedureOf<SetDefaultDllDirectoriesFunction>(kernel, "SetDefaultDllDirectories");
    if (setDefaultDllDirectories && setDefaultDllDirectories(kSearchSystemFolder))
        return true;
    // Older systems (XP SP1 to 7 without the update): at least take the current
    // folder out of the search. The program's own folder stays in it there.
    auto setDllDirectory = procedureOf<SetDllDirectoryFunction>(kernel, "SetDllDirectoryA");
    return setDllDirectory && setDllDirectory("");
}

HMODULE loadSystemLibrary(const char* name)
{
    HMODULE library = GetModuleHandleA(name);
    if (library != nullptr)
        return library;
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !formatText(path + length, MAX_PATH - length, "\\%s", name))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

int fileInFolder(const char* folder, const char* name, char* out)
{
    if (formatText(out, kPathChars, "%s\\%s", folder, name)) {
        DWORD attributes = GetFileAttributesA(out);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return 1;
    }
    out[0] = '\0';
    return 0;
}
