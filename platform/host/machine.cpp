// The machine that the release-folder checker reads a release folder for, where it
// runs without Windows: a freshly installed Windows XP (NT family, English, code page
// 1252) with nothing of the product on it. Its folders:
//
//   Windows folder            C:\WINDOWS
//   system folder             C:\WINDOWS\system32
//   program files             C:\Program Files
//   desktop                   C:\Documents and Settings\Administrator\Desktop
//   Start menu (all users)    C:\Documents and Settings\All Users\Start Menu
//   its Programs folder       C:\Documents and Settings\All Users\Start Menu\Programs
//
// Its registry holds "ProgramFilesDir" and nothing else that the setup reads: no
// earlier installation, no shortcuts, no browser button. Every registry write and
// every user-interface call fails. Paths with a drive letter lie on that machine and
// name nothing but the folders above, the folders and files that every such Windows
// has (kStandardNames) and the folders they lie in; any other path is
// a path of this system, with "\" read as "/" and the file name compared without
// regard to case, as Windows compares it.
#include <windows.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>

#include "platform/host/host_files.h"
#include "platform/paths.h"
#include "platform/profile_text.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/whole_file.h"
#include "setupdata/names.h"

namespace {

thread_local DWORD lastError;

const char kWindowsFolder[] = "C:\\WINDOWS";
const char kSystemFolder[] = "C:\\WINDOWS\\system32";
const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kProgramFiles[] = "C:\\Program Files";

struct Folder {
    int csidl;
    const char* path;
};
const Folder kFolders[] = {
    {0x0002, "C:\\Documents and Settings\\Administrator\\Start Menu\\Programs"},
    {0x000B, "C:\\Documents and Settings\\Administrator\\Start Menu"},
    {0x0010, "C:\\Documents and Settings\\Administrator\\Desktop"},
    {0x0016, "C:\\Documents and Settings\\All Users\\Start Menu"},
    {0x0017, "C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
};

HKEY const kCurrentVersion = reinterpret_cast<HKEY>(uintptr_t(0x1000));
HMODULE const kShell = reinterpret_cast<HMODULE>(uintptr_t(0x2000));

bool onTargetMachine(const char* path)
{
    return path[0] && path[1] == ':';
}

}  // namespace

int hostPath(const char* path, char* out, size_t size)
{
    if (path == nullptr || onTargetMachine(path) || !copyText(out, size, path))
        return 0;
    for (char* p = out; *p; ++p) {
        if (*p == '\\')
            *p = '/';
    }
    struct stat status;
    if (stat(out, &status) == 0)
        return 1;
    char* slash = strrchr(out, '/');
    const char* name = slash ? slash + 1 : out;
    char parent[4096];
    if (!copyText(parent, sizeof parent, slash ? out : "."))
        return 1;
    if (slash)
        parent[slash - out] = '\0';
    DIR* folder = opendir(parent[0] ? parent : "/");
    if (folder == nullptr)
        return 1;
    char found[4096] = "";
    while (dirent* entry = readdir(folder)) {
        if (strcasecmp(entry->d_name, name) == 0 && formatText(found, sizeof found, "%s/%s", slash ? parent : ".", entry->d_name))
            break;
        found[0] = '\0';
    }
    closedir(folder);
    if (found[0])
        copyText(out, size, found);
    return 1;
}

namespace {

struct Block {
    size_t size;
    alignas(16) char data[1];
};

Block* blockOf(HLOCAL handle)
{
    return static_cast<Block*>(handle);
}

HRESULT folderPath(HWND, int csidl, HANDLE, DWORD, LPSTR out)
{
    for (const Folder& folder : kFolders) {
        if (folder.csidl == csidl)
            return copyText(out, MAX_PATH, folder.path) ? S_OK : HRESULT(0x80004005);
    }
    return HRESULT(0x80004005);
}

int copyFolder(LPSTR out, UINT size, const char* folder)
{
    return copyText(out, size, folder) ? int(strlen(folder)) : int(strlen(folder) + 1);
}

// What every fresh Windows XP holds where setup data can lead (TARGET from the program
// files, GROUP from the Programs folder, through ".."): the drive's root, the profiles,
// the program files and the Windows folder, with their standard files. A name that
// ends in a backslash is a folder; so is every folder that a name lies in. Only names
// that every such installation has are here: a folder listed but missing somewhere
// would predict a success that machine does not give.
const char* const kStandardNames[] = {
    "C:\\AUTOEXEC.BAT", "C:\\boot.ini", "C:\\CONFIG.SYS", "C:\\IO.SYS", "C:\\MSDOS.SYS", "C:\\NTDETECT.COM",
    "C:\\ntldr", "C:\\pagefile.sys",
    "C:\\Documents and Settings\\Administrator\\Application Data\\",
    "C:\\Documents and Settings\\Administrator\\Cookies\\",
    "C:\\Documents and Settings\\Administrator\\Desktop\\",
    "C:\\Documents and Settings\\Administrator\\Favorites\\",
    "C:\\Documents and Settings\\Administrator\\Local Settings\\Application Data\\",
    "C:\\Documents and Settings\\Administrator\\Local Settings\\History\\",
    "C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\",
    "C:\\Documents and Settings\\Administrator\\Local Settings\\Temporary Internet Files\\",
    "C:\\Documents and Settings\\Administrator\\My Documents\\",
    "C:\\Documents and Settings\\Administrator\\NetHood\\",
    "C:\\Documents and Settings\\Administrator\\PrintHood\\",
    "C:\\Documents and Settings\\Administrator\\Recent\\",
    "C:\\Documents and Settings\\Administrator\\SendTo\\",
    "C:\\Documents and Settings\\Administrator\\Start Menu\\Programs\\Startup\\",
    "C:\\Documents and Settings\\Administrator\\Templates\\",
    "C:\\Documents and Settings\\Administrator\\NTUSER.DAT",
    "C:\\Documents and Settings\\Administrator\\ntuser.dat.LOG",
    "C:\\Documents and Settings\\Administrator\\ntuser.ini",
    "C:\\Documents and Settings\\All Users\\Application Data\\",
    "C:\\Documents and Settings\\All Users\\Desktop\\",
    "C:\\Documents and Settings\\All Users\\Documents\\",
    "C:\\Documents and Settings\\All Users\\Favorites\\",
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Accessories\\",
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup\\",
    "C:\\Documents and Settings\\All Users\\Templates\\",
    "C:\\Documents and Settings\\Default User\\Desktop\\",
    "C:\\Documents and Settings\\Default User\\NTUSER.DAT",
    "C:\\Documents and Settings\\LocalService\\",
    "C:\\Documents and Settings\\NetworkService\\",
    "C:\\Program Files\\Common Files\\Microsoft Shared\\",
    "C:\\Program Files\\Common Files\\System\\",
    "C:\\Program Files\\ComPlus Applications\\",
    "C:\\Program Files\\Internet Explorer\\iexplore.exe",
    "C:\\Program Files\\Messenger\\msmsgs.exe",
    "C:\\Program Files\\Movie Maker\\moviemk.exe",
    "C:\\Program Files\\NetMeeting\\conf.exe",
    "C:\\Program Files\\Outlook Express\\msimn.exe",
    "C:\\Program Files\\Windows Media Player\\wmplayer.exe",
    "C:\\Program Files\\Windows NT\\Accessories\\wordpad.exe",
    "C:\\WINDOWS\\explorer.exe", "C:\\WINDOWS\\hh.exe", "C:\\WINDOWS\\notepad.exe", "C:\\WINDOWS\\regedit.exe",
    "C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\taskman.exe", "C:\\WINDOWS\\twain.dll", "C:\\WINDOWS\\twain_32.dll",
    "C:\\WINDOWS\\twunk_16.exe", "C:\\WINDOWS\\twunk_32.exe", "C:\\WINDOWS\\win.ini", "C:\\WINDOWS\\winhelp.exe",
    "C:\\WINDOWS\\winhlp32.exe",
    "C:\\WINDOWS\\AppPatch\\", "C:\\WINDOWS\\Config\\", "C:\\WINDOWS\\Cursors\\", "C:\\WINDOWS\\Debug\\",
    "C:\\WINDOWS\\Downloaded Program Files\\", "C:\\WINDOWS\\Driver Cache\\i386\\", "C:\\WINDOWS\\Fonts\\",
    "C:\\WINDOWS\\Help\\", "C:\\WINDOWS\\ime\\", "C:\\WINDOWS\\inf\\", "C:\\WINDOWS\\Media\\",
    "C:\\WINDOWS\\msagent\\", "C:\\WINDOWS\\Offline Web Pages\\", "C:\\WINDOWS\\pchealth\\",
    "C:\\WINDOWS\\Prefetch\\", "C:\\WINDOWS\\Registration\\", "C:\\WINDOWS\\repair\\",
    "C:\\WINDOWS\\Resources\\Themes\\", "C:\\WINDOWS\\security\\", "C:\\WINDOWS\\system\\", "C:\\WINDOWS\\Tasks\\",
    "C:\\WINDOWS\\Temp\\", "C:\\WINDOWS\\twain_32\\", "C:\\WINDOWS\\Web\\Wallpaper\\", "C:\\WINDOWS\\WinSxS\\",
    "C:\\WINDOWS\\system32\\advapi32.dll", "C:\\WINDOWS\\system32\\calc.exe", "C:\\WINDOWS\\system32\\cmd.exe",
    "C:\\WINDOWS\\system32\\comctl32.dll", "C:\\WINDOWS\\system32\\gdi32.dll", "C:\\WINDOWS\\system32\\kernel32.dll",
    "C:\\WINDOWS\\system32\\msiexec.exe", "C:\\WINDOWS\\system32\\notepad.exe", "C:\\WINDOWS\\system32\\ntdll.dll",
    "C:\\WINDOWS\\system32\\ole32.dll", "C:\\WINDOWS\\system32\\rundll32.exe", "C:\\WINDOWS\\system32\\setupapi.dll",
    "C:\\WINDOWS\\system32\\shell32.dll", "C:\\WINDOWS\\system32\\shfolder.dll", "C:\\WINDOWS\\system32\\user32.dll",
    "C:\\WINDOWS\\system32\\config\\", "C:\\WINDOWS\\system32\\dllcache\\", "C:\\WINDOWS\\system32\\drivers\\etc\\hosts",
    "C:\\WINDOWS\\system32\\spool\\", "C:\\WINDOWS\\system32\\wbem\\",
};

// The attributes of `path` on the stand-in machine: a folder, a file or nothing. The
// path is read in its one spelling, as the system resolves "." and "..".
DWORD standInAttributes(const char* path)
{
    char given[kPathChars];  // with a backslash added, "C:" stands for the drive's root
    char normal[kPathChars];
    if (!formatText(given, sizeof given, "%s\\", path) || !canonicalFolderPath(given, normal, sizeof normal))
        return INVALID_FILE_ATTRIBUTES;
    size_t length = strlen(normal);
    if (endsWithSeparator(normal))
        normal[--length] = '\0';
    const char* const known[] = {kSystemFolder, kProgramFiles, kFolders[0].path, kFolders[2].path, kFolders[4].path};
    for (const char* folder : known) {
        if (strncasecmp(folder, normal, length) == 0 && (folder[length] == '\0' || folder[length] == '\\'))
            return FILE_ATTRIBUTE_DIRECTORY;
    }
    for (const char* entry : kStandardNames) {
        if (strncasecmp(entry, normal, length) != 0)
            continue;
        if (entry[length] == '\\')
            return FILE_ATTRIBUTE_DIRECTORY;  // the entry or a folder it lies in
        if (entry[length] == '\0')
            return FILE_ATTRIBUTE_ARCHIVE;
    }
    return INVALID_FILE_ATTRIBUTES;
}

// A file opened for reading: a view of the text read once (platform/whole_file.h).
struct OpenFile {
    const WholeFile* file;
    uint64_t at;
};

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

// The stand-in machine shows no system boxes: the mode is kept for nobody.
UINT SetErrorMode(UINT mode)
{
    static UINT current;
    UINT previous = current;
    current = mode;
    return previous;
}

DWORD GetFileAttributesA(LPCSTR path)
{
    char local[4096];
    struct stat status;
    if (path && onTargetMachine(path)) {
        DWORD attributes = standInAttributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            lastError = ERROR_FILE_NOT_FOUND;
        return attributes;
    }
    if (!hostPath(path, local, sizeof local) || stat(local, &status) != 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

HANDLE CreateFileA(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    const WholeFile* file = wholeFile(path);
    OpenFile* opened = file && file->status == kWholeFileRead ? static_cast<OpenFile*>(calloc(1, sizeof(OpenFile))) : nullptr;
    if (opened == nullptr) {
        lastError = file && file->status != kWholeFileMissing ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    opened->file = file;
    return opened;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED)
{
    OpenFile* opened = static_cast<OpenFile*>(handle);
    uint64_t left = opened->file->size - opened->at;
    *read = DWORD(left < size ? left : size);
    memcpy(buffer, opened->file->bytes + opened->at, *read);
    opened->at += *read;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    free(handle);
    return TRUE;
}

BOOL FindClose(HANDLE) { return FALSE; }

HLOCAL LocalAlloc(UINT, size_t size)
{
    Block* block = static_cast<Block*>(calloc(1, offsetof(Block, data) + size));
    if (block)
        block->size = size;
    return block;
}

HLOCAL LocalReAlloc(HLOCAL handle, size_t size, UINT)
{
    size_t old = blockOf(handle)->size;
    Block* block = static_cast<Block*>(realloc(handle, offsetof(Block, data) + size));
    if (block == nullptr)
        return nullptr;
    if (size > old)
        memset(block->data + old, 0, size - old);
    block->size = size;
    return block;
}

LPVOID LocalLock(HLOCAL handle) { return handle ? blockOf(handle)->data : nullptr; }
BOOL LocalUnlock(HLOCAL) { return FALSE; }

HLOCAL LocalFree(HLOCAL handle)
{
    free(handle);
    return nullptr;
}

HGLOBAL GlobalFree(HGLOBAL handle) { return handle; }
PSID FreeSid(PSID) { return nullptr; }
int lstrcmpiA(LPCSTR a, LPCSTR b) { return strcasecmp(a, b); }
WORD GetSystemDefaultLangID() { return 0x0409; }

void GetLocalTime(SYSTEMTIME* time)
{
    time_t now = ::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    *time = SYSTEMTIME{WORD(local.tm_year + 1900), WORD(local.tm_mon + 1), WORD(local.tm_wday), WORD(local.tm_mday),
                       WORD(local.tm_hour),        WORD(local.tm_min),     WORD(local.tm_sec), 0};
}

BOOL GetVersionExA(OSVERSIONINFOA* version)
{
    version->dwMajorVersion = 5;
    version->dwMinorVersion = 1;
    version->dwBuildNumber = 2600;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    copyText(version->szCSDVersion, sizeof version->szCSDVersion, "Service Pack 3");
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    return name && strcasecmp(name, "shell32.dll") == 0 ? kShell : nullptr;
}

HMODULE LoadLibraryA(LPCSTR name)
{
    HMODULE module = GetModuleHandleA(name ? lastPathName(name) : name);
    if (module == nullptr)
        lastError = ERROR_FILE_NOT_FOUND;
    return module;
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD)
{
    return LoadLibraryA(name);
}

BOOL FreeLibrary(HMODULE) { return TRUE; }

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module == kShell && strcmp(name, "SHGetFolderPathA") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(folderPath));
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE, LPSTR path, DWORD size)
{
    return copyText(path, size, "C:\\setup.exe") ? DWORD(strlen(path)) : size;
}

UINT GetSystemDirectoryA(LPSTR out, UINT size) { return UINT(copyFolder(out, size, kSystemFolder)); }
UINT GetWindowsDirectoryA(LPSTR out, UINT size) { return UINT(copyFolder(out, size, kWindowsFolder)); }

void OutputDebugStringA(LPCSTR text)
{
    fputs(text, stderr);
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out, DWORD size,
                               LPCSTR file)
{
    // The whole file, read once, as the platform's reader sees it.
    const WholeFile* whole = wholeFile(file);
    return readProfileBytes(section, key, defaultText, out, size, profileTextOf(whole), profileLengthOf(whole));
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (key == HKEY_LOCAL_MACHINE && subKey && strcasecmp(subKey, kCurrentVersionKey) == 0) {
        *result = kCurrentVersion;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (key != kCurrentVersion || name == nullptr || strcasecmp(name, "ProgramFilesDir") != 0)
        return ERROR_FILE_NOT_FOUND;
    DWORD needed = DWORD(sizeof kProgramFiles);
    if (type)
        *type = REG_SZ;
    if (data && *size < needed) {
        *size = needed;
        return 234;  // ERROR_MORE_DATA
    }
    if (data)
        memcpy(data, kProgramFiles, needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)
{
    return ERROR_ACCESS_DENIED;
}
LONG RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LONG RegSetValueA(HKEY, LPCSTR, DWORD, LPCSTR, DWORD) { return ERROR_ACCESS_DENIED; }
LONG RegDeleteValueA(HKEY, LPCSTR) { return ERROR_ACCESS_DENIED; }
LONG RegDeleteKeyA(HKEY, LPCSTR) { return ERROR_ACCESS_DENIED; }
LONG RegEnumKeyA(HKEY, DWORD, LPSTR, DWORD) { return ERROR_NO_MORE_ITEMS; }
LONG RegEnumValueA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    return ERROR_NO_MORE_ITEMS;
}
LONG RegQueryInfoKeyA(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                      LPDWORD, PFILETIME)
{
    return ERROR_FILE_NOT_FOUND;
}

int LoadStringA(HINSTANCE, UINT, LPSTR out, int size)
{
    if (size > 0)
        out[0] = '\0';
    return 0;
}

HRSRC FindResourceExA(HMODULE, LPCSTR, LPCSTR, WORD) { return nullptr; }
HGLOBAL LoadResource(HMODULE, HRSRC) { return nullptr; }
LPVOID LockResource(HGLOBAL) { return nullptr; }
DWORD SizeofResource(HMODULE, HRSRC) { return 0; }
int WideCharToMultiByte(UINT, DWORD, const WCHAR*, int, LPSTR, int, LPCSTR, LPBOOL) { return 0; }

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }
int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return 0; }
BOOL DestroyWindow(HWND) { return FALSE; }
HRESULT CoInitialize(LPVOID) { return HRESULT(0x80004001); }
void CoUninitialize() {}

// Only the entries that the checker's layers call; the others are never reached here.
PlatformSeam platform = {
    nullptr,          nullptr,         nullptr, RegCreateKeyExA, RegSetValueExA, RegDeleteValueA,
    GetModuleFileNameA, nullptr,       MessageBoxA, nullptr,     nullptr,        nullptr,
    nullptr,          nullptr,         nullptr,     nullptr,        nullptr,
    GetFileAttributesA, GetWindowsDirectoryA, nullptr, nullptr,
};
