// The part of the Win32 interface that the release-folder checker's layers use, for
// the build on systems without Windows. The calls are answered by machine.cpp, which
// stands in for a freshly installed Windows XP: see there for its folders and records.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef uint32_t DWORD;
typedef int BOOL;
typedef unsigned int UINT;
typedef int INT;
typedef int32_t LONG;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef char CHAR;
typedef uint16_t WCHAR;
typedef int32_t HRESULT;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef DWORD REGSAM;

typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* HGLOBAL;
typedef void* PSID;
typedef struct HKEY__* HKEY;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HWND__* HWND;
typedef struct HDC__* HDC;
typedef struct HICON__* HICON;

typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef BOOL* LPBOOL;
typedef BYTE* LPBYTE;
typedef HKEY* PHKEY;
typedef HANDLE* PHANDLE;
typedef LONG* PLONG;

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _TOKEN_PRIVILEGES* PTOKEN_PRIVILEGES;
typedef struct _OVERLAPPED* LPOVERLAPPED;
typedef struct _FILETIME* PFILETIME;
typedef struct _BY_HANDLE_FILE_INFORMATION* LPBY_HANDLE_FILE_INFORMATION;
typedef enum { TokenUser = 1 } TOKEN_INFORMATION_CLASS;

typedef struct {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA;

typedef struct {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME;

#define MAX_PATH 260
#define TRUE 1
#define FALSE 0

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_CALL_NOT_IMPLEMENTED 120L

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define SEM_FAILCRITICALERRORS 0x0001
#define SEM_NOOPENFILEERRORBOX 0x8000
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x8
#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_OFFLINE 0x1000
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x1
#define OPEN_ALWAYS 4
#define OPEN_EXISTING 3
#define LMEM_MOVEABLE 0x2
#define LMEM_ZEROINIT 0x40

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x1
#define KEY_SET_VALUE 0x2
#define KEY_ENUMERATE_SUB_KEYS 0x8
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_OPTION_NON_VOLATILE 0

#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define MB_YESNO 0x4
#define MB_ICONQUESTION 0x20
#define MB_ICONWARNING 0x30
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6

#define S_OK ((HRESULT)0)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xFFFF))

#define ZeroMemory(p, n) memset((p), 0, (n))
#define CopyMemory(d, s, n) memcpy((d), (s), (n))

typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*FARPROC)();

// Kernel.
DWORD GetLastError();
void SetLastError(DWORD error);
UINT SetErrorMode(UINT mode);
DWORD GetFileAttributesA(LPCSTR path);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
BOOL FindClose(HANDLE find);
HLOCAL LocalAlloc(UINT flags, size_t size);
HLOCAL LocalReAlloc(HLOCAL block, size_t size, UINT flags);
LPVOID LocalLock(HLOCAL block);
BOOL LocalUnlock(HLOCAL block);
HLOCAL LocalFree(HLOCAL block);
HGLOBAL GlobalFree(HGLOBAL block);
WORD GetSystemDefaultLangID();
BOOL GetVersionExA(OSVERSIONINFOA* version);
HMODULE GetModuleHandleA(LPCSTR name);
HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
UINT GetSystemDirectoryA(LPSTR out, UINT size);
UINT GetWindowsDirectoryA(LPSTR out, UINT size);
void OutputDebugStringA(LPCSTR text);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out, DWORD size,
                               LPCSTR file);
PSID FreeSid(PSID sid);
int lstrcmpiA(LPCSTR a, LPCSTR b);

// Registry.
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize);
LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                      LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptor,
                      PFILETIME lastWrite);

void GetLocalTime(SYSTEMTIME* time);

// User interface: the checker never shows any, and its module has no resources.
typedef struct HRSRC__* HRSRC;
#define RT_STRING MAKEINTRESOURCEA(6)
#define MAKELANGID(primary, sub) ((WORD)((((WORD)(sub)) << 10) | (WORD)(primary)))
#define LANG_ENGLISH 0x09
#define SUBLANG_ENGLISH_US 0x01
#define CP_ACP 0
int LoadStringA(HINSTANCE instance, UINT id, LPSTR out, int size);
HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int count, LPSTR out, int size,
                        LPCSTR defaultChar, LPBOOL usedDefault);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM parameter);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL DestroyWindow(HWND window);
