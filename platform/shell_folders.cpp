#include "platform/shell_folders.h"

#include <windows.h>

#include "platform/system.h"
#include "platform/text.h"
#ifdef _WIN32
#include "platform/narrow_paths.h"
#include "platform/trace.h"
#endif

namespace {

using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

// SHGetFolderPathA of `module`, loaded from the system folder when it is not loaded
// yet: by name it could come from the setup folder, where Windows 9x still searches.
GetFolderPath lookUp(const char* module)
{
    return procedureOf<GetFolderPath>(loadSystemLibrary(module), "SHGetFolderPathA");
}

#ifdef _WIN32
using GetFolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

// A shell folder through SHGetFolderPathW, in lossless narrow form. Returns -1 when
// the system has no SHGetFolderPathW, else 1 or 0 (`out` empty).
int wideShellFolderPath(int csidl, char* out)
{
    static GetFolderPathW function;
    static bool looked;
    if (!looked) {
        looked = true;
        // Loaded already by the narrow lookup, from the system folder.
        function = procedureOf<GetFolderPathW>(GetModuleHandleA("shell32.dll"), "SHGetFolderPathW");
        if (function == nullptr)
            function = procedureOf<GetFolderPathW>(GetModuleHandleA("shfolder.dll"), "SHGetFolderPathW");
    }
    if (function == nullptr)
        return -1;
    out[0] = '\0';
    wchar_t wide[kPathChars] = L"";
    if (FAILED(function(nullptr, csidl, nullptr, 0, wide)) || !wide[0])
        return 0;
    if (losslessNarrowPath(wide, out))
        return 1;
    traceCause("a shell folder has no form in the system's code page (no short name)", "");
    return 0;
}
#endif

}  // namespace

int shellFolderPath(int csidl, char* out)
{
    static GetFolderPath function;
    if (function == nullptr)
        function = lookUp("shell32.dll");
    if (function == nullptr)
        function = lookUp("shfolder.dll");
#ifdef _WIN32
    // A profile folder outside the code page is named in a form that reaches it.
    if (isNtFamily()) {
        int found = wideShellFolderPath(csidl, out);
        if (found >= 0)
            return found;
    }
#endif
    out[0] = '\0';
    return function && SUCCEEDED(function(nullptr, csidl, nullptr, 0, out)) && out[0] != '\0';
}
