// Paths that the system hands over in a narrow form naming the same file. The "A"
// functions give a name outside the code page in a best-fit spelling ("Łukasz" as
// "Lukasz", "张伟" as "??"), which names another folder or none. On the NT family the
// program asks for the wide name and keeps it when the code page holds every
// character, else takes its short (8.3) form, which is always narrow.
#pragma once
#include <windows.h>

// The narrow form of `wide` into `out` (260 characters) that names the same file: the
// name itself, or its short form. Returns 0, with error ERROR_NO_UNICODE_TRANSLATION,
// when neither converts without loss (short names turned off on that volume).
int losslessNarrowPath(const wchar_t* wide, char* out);

// GetModuleFileNameA that never hands back a best-fit path: on the NT family the
// wide name through losslessNarrowPath. The platform seam's default.
DWORD WINAPI losslessModuleFileName(HMODULE module, LPSTR path, DWORD size);

// The temporary folder, ending with a backslash, into `out` (260 characters); made
// when it is missing (with its parents), as the shell's copy used to make it. Returns
// 0 with the cause in the trace when it cannot be named without loss or made.
int tempFolderPath(char* out);

// The wide functions of the NT family's code paths, looked up at run time: the shipping
// image imports nothing that Windows 98 or NT 4.0 lacks. Null on Windows 9x or when
// one of them is missing.
struct WideFunctions {
    DWORD(WINAPI* GetModuleFileNameW)(HMODULE, LPWSTR, DWORD);
    DWORD(WINAPI* GetTempPathW)(DWORD, LPWSTR);
    DWORD(WINAPI* GetShortPathNameW)(LPCWSTR, LPWSTR, DWORD);
    DWORD(WINAPI* GetFileAttributesW)(LPCWSTR);
    BOOL(WINAPI* CreateDirectoryW)(LPCWSTR, LPSECURITY_ATTRIBUTES);
    int(WINAPI* CompareStringW)(LCID, DWORD, LPCWSTR, int, LPCWSTR, int);
    LONG(WINAPI* RegOpenKeyExW)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI* RegQueryValueExW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(WINAPI* RegSetValueExW)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
    LONG(WINAPI* RegDeleteValueW)(HKEY, LPCWSTR);
};
const WideFunctions* wideFunctions();

// Length of a wide text; whether two wide texts are equal, exactly or in any case.
size_t wideLength(const wchar_t* text);
bool sameWideText(const wchar_t* a, const wchar_t* b, bool ignoreCase);
