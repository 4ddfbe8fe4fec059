#include "actions/machine.h"

#include <shlwapi.h>

#include "platform/seam.h"

#include <algorithm>

const char kAbsent[] = "(absent)";

std::string readFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kAbsent;
    std::string content(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &content[0], DWORD(content.size()), &read, nullptr);
    CloseHandle(file);
    return content.substr(0, read);
}

void writeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
}

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void makeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

void removeTree(const std::string& path)
{
    for (const std::string& name : folderContents(path)) {
        std::string child = path + "\\" + name;
        removeTree(child);
        DeleteFileA(child.c_str());
    }
    RemoveDirectoryA(path.c_str());
}

Names folderContents(const std::string& path)
{
    Names names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    }
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string moduleFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, strrchr(path, '\\'));
}

std::string tempFolder()
{
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    return path;
}

std::string windowsFolder()
{
    char path[MAX_PATH] = "";
    GetWindowsDirectoryA(path, sizeof path);
    return path;
}

std::string shortPathOf(const std::string& path)
{
    char text[MAX_PATH] = "";
    GetShortPathNameA(path.c_str(), text, sizeof text);
    return text;
}

namespace {

// Runs `use` on the opened key; does nothing when it cannot be opened.
template <typename Use>
void withKey(const std::string& key, REGSAM access, Use use)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, access, &opened) != ERROR_SUCCESS)
        return;
    use(opened);
    RegCloseKey(opened);
}

}  // namespace

StoredValue storedValue(const std::string& key, const char* name, REGSAM view)
{
    StoredValue value{REG_NONE, kAbsent};
    withKey(key, KEY_READ | view, [&](HKEY opened) {
        std::string data(4096, '\0');
        DWORD type = 0;
        DWORD size = DWORD(data.size());
        if (RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                             &size) == ERROR_SUCCESS)
            value = {type, data.substr(0, size)};
    });
    return value;
}

StoredValue textValue(const std::string& text)
{
    return {REG_SZ, text + '\0'};
}

StoredValue numberValue(DWORD number)
{
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

bool keyExists(const std::string& key, REGSAM view)
{
    bool found = false;
    withKey(key, KEY_READ | view, [&](HKEY) { found = true; });
    return found;
}

Names valueNames(const std::string& key)
{
    Names names;
    withKey(key, KEY_READ, [&](HKEY opened) {
        char name[256];
        DWORD length = sizeof name;
        for (DWORD i = 0; RegEnumValueA(opened, i, name, &length, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
             ++i, length = sizeof name)
            names.push_back(name);
    });
    std::sort(names.begin(), names.end());
    return names;
}

void setValue(const std::string& key, const char* name, const StoredValue& value)
{
    HKEY opened;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(opened, name, 0, value.first,
                   reinterpret_cast<const BYTE*>(value.second.data()), DWORD(value.second.size()));
    RegCloseKey(opened);
}

void removeValue(const std::string& key, const char* name)
{
    withKey(key, KEY_ALL_ACCESS, [&](HKEY opened) { RegDeleteValueA(opened, name); });
}

void deleteTree(const std::string& key)
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

namespace {
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
}  // namespace

Operations pendingOperations(REGSAM view)
{
    std::string data = storedValue(kSessionManager, kPending, view).second;
    Names strings;
    for (size_t at = 0; data != kAbsent && at < data.size(); at = data.find('\0', at) + 1) {
        std::string text = data.c_str() + at;
        strings.push_back(text.compare(0, 4, "\\??\\") == 0 ? text.substr(4) : text);
    }
    Operations operations;
    for (size_t i = 0; i + 1 < strings.size(); i += 2)  // an empty string ends the list
        operations.push_back({strings[i], strings[i + 1]});
    return operations;
}

void clearPendingOperations()
{
    removeValue(kSessionManager, kPending);
}

Names renameLines()
{
    std::string text = readFile(windowsFolder() + "\\WININIT.INI");
    Names lines;
    bool inRename = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find("\r\n", at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 2;
        if (!line.empty() && line[0] == '[')
            inRename = lstrcmpiA(line.c_str(), "[rename]") == 0;
        else if (inRename && !line.empty())
            lines.push_back(line);
    }
    return lines;
}

namespace {

// The Unix path of the Windows path `path` in the prefix.
std::string unixPath(const std::string& path)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(path.begin(), path.end());
    char* name = unixName ? unixName(wide.c_str()) : nullptr;
    std::string text = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Starts the Unix program of `command` (Wine starts Unix programs too, but cannot wait
// for them), then waits up to five seconds until `done` holds.
template <typename Done>
bool runUnix(std::string command, Done done)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 250 && !done(); ++i)
        Sleep(20);
    return done();
}

}  // namespace

bool makeLink(const std::string& link, const std::string& target)
{
    return runUnix("/bin/ln -sfn \"" + unixPath(target) + "\" \"" + unixPath(link) + "\"",
                   [&link] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

void removeLink(const std::string& link)
{
    std::string path = unixPath(link);
    if (!path.empty()) {
        runUnix("/bin/rm -f \"" + path + "\"",
                [&link] { return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
    }
}

bool setUnchangeable(const std::string& path, bool on)
{
    auto writable = [&path] {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
        return true;
    };
    return runUnix(std::string("/usr/bin/chattr ") + (on ? "+i" : "-i") + " \"" + unixPath(path) + "\"",
                   [&] { return writable() != on; });
}

namespace {

// The Unix name of drive D: in the prefix, and the folder it stands for.
std::string driveLink()
{
    std::string c = unixPath("C:\\");
    size_t at = c.rfind("/drive_c");
    if (at == std::string::npos)
        at = c.rfind("/dosdevices/");
    return at == std::string::npos ? "" : c.substr(0, at) + "/dosdevices/d:";
}

std::string volumeFolder()
{
    return "/dev/shm/pkgmgr-volume-" + std::to_string(GetCurrentProcessId());
}

}  // namespace

bool makeSecondVolume()
{
    // Wine hands a Unix program its arguments split as Windows does: in double quotes.
    std::string link = driveLink();
    return !link.empty() &&
           runUnix("/bin/sh -c \"mkdir -p " + volumeFolder() + " && ln -sfn " + volumeFolder() + " " + link + "\"",
                   [] { return GetFileAttributesA("D:\\") != INVALID_FILE_ATTRIBUTES; });
}

void removeSecondVolume()
{
    std::string link = driveLink();
    if (!link.empty())
        runUnix("/bin/sh -c \"rm -rf " + link + " " + volumeFolder() + "\"",
                [] { return GetFileAttributesA("D:\\") == INVALID_FILE_ATTRIBUTES; });
}

std::vector<FakedName> fakedNames;
Names ownerQueries;

namespace {

// The path that `handle` names, without the "\\?\" in front.
std::string handlePath(HANDLE handle)
{
    using FinalPath = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    auto finalPath = reinterpret_cast<FinalPath>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    char path[MAX_PATH * 2] = "";
    if (!finalPath || !finalPath(handle, path, sizeof path, 0))
        return "";
    std::string text = path;
    return text.rfind("\\\\?\\", 0) == 0 ? text.substr(4) : text;
}

const FakedName* fakedName(HANDLE handle)
{
    std::string path = handlePath(handle);
    for (const FakedName& name : fakedNames) {
        if (lstrcmpiA(name.path.c_str(), path.c_str()) == 0)
            return &name;
    }
    return nullptr;
}

DWORD WINAPI fakeSecurityInfo(HANDLE handle, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner, PSID*, PACL*,
                              PACL*, PSECURITY_DESCRIPTOR* descriptor)
{
    static BYTE sid[SECURITY_MAX_SID_SIZE];
    ownerQueries.push_back(handlePath(handle));
    const FakedName* faked = fakedName(handle);
    FakeOwner who = faked ? faked->owner : FakeOwner::administrators;
    if (who == FakeOwner::unreadable)
        return ERROR_ACCESS_DENIED;
    *descriptor = LocalAlloc(LPTR, 16);  // the caller frees it
    *owner = nullptr;
    if (who == FakeOwner::none)
        return ERROR_SUCCESS;
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID made = nullptr;
    if (who == FakeOwner::administrators)
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &made);
    else
        AllocateAndInitializeSid(&nt, 5, SECURITY_NT_NON_UNIQUE, 1, 2, 3, 1001, 0, 0, 0, &made);  // a local user
    CopySid(sizeof sid, sid, made);
    FreeSid(made);
    *owner = sid;
    return ERROR_SUCCESS;
}

BOOL WINAPI fakeFileInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information)
{
    if (!GetFileInformationByHandle(handle, information))
        return FALSE;
    const FakedName* faked = fakedName(handle);
    if (faked && faked->links)
        information->nNumberOfLinks = faked->links;
    return TRUE;
}

}  // namespace

void fakeOwnersAndLinks()
{
    platform.GetSecurityInfo = fakeSecurityInfo;
    platform.GetFileInformationByHandle = fakeFileInformation;
}

HeldFile::HeldFile(const std::string& path)
{
    std::string note = tempFolder() + "PkgMgr-held.txt";
    DeleteFileA(note.c_str());
    std::string line = "\"" + moduleFolder() + "\\PkgMgr.exe\" /lock \"" + path + "\" /note \"" + note + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        return;
    for (int i = 0; i < 400 && !exists(note) && WaitForSingleObject(process_.hProcess, 25) == WAIT_TIMEOUT; ++i) {
    }
    held_ = exists(note);
    DeleteFileA(note.c_str());
}

HeldFile::~HeldFile()
{
    if (!process_.hProcess)
        return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}
