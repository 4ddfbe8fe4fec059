// Stand-in for the Unicode layer of Windows 9x (see unicows.def): the exports
// forward to kernel32; the library itself does nothing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
