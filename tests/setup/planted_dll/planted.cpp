// A DLL that stands for one dropped beside setup.exe by someone else: as it is
// loaded, it writes a marker file at the path in PKGMGR_PLANTED_MARKER, so that a
// test can see whether a process loaded it. It exports nothing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PKGMGR_PLANTED_MARKER", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return TRUE;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char name[MAX_PATH] = "";
        DWORD nameLength = GetModuleFileNameA(nullptr, name, sizeof name);
        DWORD written = 0;
        WriteFile(file, name, nameLength, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
