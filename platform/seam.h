// The few platform calls whose failures Wine cannot produce, called through
// replaceable pointers. Production code calls `platform.X(...)` exactly like
// the Win32 function; tests swap a pointer and restore it afterwards.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <accctrl.h>
#include <wtsapi32.h>

struct PlatformSeam {
    // Token queries of the rights checks (a non-administrator, a refused privilege).
    BOOL(WINAPI* OpenProcessToken)(HANDLE process, DWORD access, PHANDLE token);
    BOOL(WINAPI* GetTokenInformation)(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID info,
                                      DWORD length, PDWORD returned);
    BOOL(WINAPI* AdjustTokenPrivileges)(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                        DWORD length, PTOKEN_PRIVILEGES previous, PDWORD returned);
    // Registry writes (a failing write).
    LONG(WINAPI* RegCreateKeyExA)(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className,
                                  DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                                  PHKEY result, LPDWORD disposition);
    LONG(WINAPI* RegSetValueExA)(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                 const BYTE* data, DWORD size);
    // Removing a product record (a failing removal of a value that is there).
    LONG(WINAPI* RegDeleteValueA)(HKEY key, LPCSTR name);
    // The running program's path, which locates the setup folder: tests point it at a
    // package folder of their own instead of copying the test program around.
    DWORD(WINAPI* GetModuleFileNameA)(HMODULE module, LPSTR path, DWORD size);
    // Scheduling a file operation for the next restart (a refused schedule).
    BOOL(WINAPI* MoveFileExA)(LPCSTR existing, LPCSTR newName, DWORD flags);
    // The run's final report and restart prompt, so that tests can read what a user would see.
    int(WINAPI* MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
    INT(WINAPI* SetupPromptReboot)(void* fileQueue, HWND owner, BOOL scanOnly);
    // Creating a COM object (a shell-link object that cannot be created).
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID classId, LPUNKNOWN outer, DWORD context,
                                      REFIID interfaceId, LPVOID* object);
    // The shell's file operations (the flags a run passes; an operation reported aborted).
    int(WINAPI* SHFileOperationA)(LPSHFILEOPSTRUCTA operation);
    // Creating a folder (the access list of a new folder, which Wine does not keep).
    BOOL(WINAPI* CreateDirectoryA)(LPCSTR path, LPSECURITY_ATTRIBUTES security);
    // Opening the running application's mutex (one that another account holds).
    HANDLE(WINAPI* OpenMutexA)(DWORD access, BOOL inherit, LPCSTR name);
    // The owner of an open file or folder, also of a link opened itself (another user's
    // folder or link: Wine reports one owner for every file and none for a link).
    // Looked up at run time: Windows 98 lacks it.
    DWORD(WINAPI* GetSecurityInfo)(HANDLE handle, SE_OBJECT_TYPE kind, SECURITY_INFORMATION wanted,
                                   PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                   PSECURITY_DESCRIPTOR* descriptor);
    // Opening and creating files without following links (the access list of a new
    // log, which Wine does not keep).
    HANDLE(WINAPI* CreateFileA)(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile);
    // A file's attributes and link count from its handle (a hard link, a reparse point
    // opened itself: Wine shows neither).
    BOOL(WINAPI* GetFileInformationByHandle)(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
    // Whether a folder is there (a drive without media, which Wine does not have).
    DWORD(WINAPI* GetFileAttributesA)(LPCSTR path);
    // The Windows folder (a failure, which Wine does not have).
    UINT(WINAPI* GetWindowsDirectoryA)(LPSTR path, UINT size);
    // The sessions of the machine (other users signed in, which Wine does not have):
    // wtsapi32, looked up at run time; FALSE with ERROR_CALL_NOT_IMPLEMENTED where the
    // system lacks it (Windows 9x, NT 4.0 without Terminal Server).
    BOOL(WINAPI* WTSEnumerateSessionsA)(HANDLE server, DWORD reserved, DWORD version,
                                        PWTS_SESSION_INFOA* sessions, DWORD* count);
    void(WINAPI* WTSFreeMemory)(PVOID memory);
};

extern PlatformSeam platform;
