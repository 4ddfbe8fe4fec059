#include "platform/trusted_names.h"

#include <aclapi.h>
#include <string.h>

#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace {

using SetEntriesInAclFunction = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);
using InitializeSecurityDescriptorFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
using SetSecurityDescriptorDaclFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
using SetSecurityDescriptorControlFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                           SECURITY_DESCRIPTOR_CONTROL);

// The security functions are not there on every system the program starts on.
template <typename Function>
Function advapiFunction(const char* name)
{
    return procedureOf<Function>(GetModuleHandleA("advapi32.dll"), name);
}

// Where the last name of `path` begins, after its backslash; 0 for none. A trail byte
// may be a backslash, so the text is read from its start.
size_t lastNameStart(const char* path)
{
    size_t start = 0;
    for (size_t i = 0; path[i]; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1]) {
            ++i;
            continue;
        }
        if (path[i] == '\\')
            start = i + 1;
    }
    return start;
}

// Whether the open `handle` names a file or folder under another path than `path`: a
// link on the way led elsewhere (Wine shows a link to a file only this way). No
// judgement (false) where the system cannot tell the handle's path (before Vista) or
// the paths cannot be compared.
bool reachedElsewhere(HANDLE handle, const char* path)
{
    using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    using LongPathFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto finalPath = procedureOf<FinalPathFunction>(kernel, "GetFinalPathNameByHandleA");
    auto longPath = procedureOf<LongPathFunction>(kernel, "GetLongPathNameA");  // not on NT 4.0
    char reached[kPathChars + 8];
    char named[kPathChars];
    if (!finalPath || !longPath)
        return false;
    DWORD length = finalPath(handle, reached, sizeof reached, 0);
    DWORD namedLength = longPath(path, named, sizeof named);
    if (length == 0 || length >= sizeof reached || namedLength == 0 || namedLength >= sizeof named)
        return false;
    // "\\?\C:\..." or "\\?\UNC\server\share\..." for "C:\..." or "\\server\share\...".
    const char* compared = reached;
    if (strncmp(reached, "\\\\?\\UNC\\", 8) == 0) {
        reached[6] = '\\';
        compared = reached + 6;
    } else if (strncmp(reached, "\\\\?\\", 4) == 0) {
        compared = reached + 4;
    }
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, compared, -1, named, -1) != CSTR_EQUAL;
}

}  // namespace

bool isLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool wellKnownSids(WellKnownSids& sids)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY creator = {SECURITY_CREATOR_SID_AUTHORITY};
    return AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                    0, sids.administrators.put()) &&
           AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, sids.system.put()) &&
           AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0,
                                    sids.users.put()) &&
           AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0, 0, 0,
                                    sids.creatorOwner.put()) &&
           AllocateAndInitializeSid(&nt, 6, 80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u, 0,
                                    0, sids.installer.put());
}

PSID processUser(BYTE* buffer, DWORD size)
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return nullptr;
    UniqueHandle token(opened);
    DWORD returned = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, size, &returned))
        return nullptr;
    return reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
}

HANDLE openNameItself(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                      LPSECURITY_ATTRIBUTES security, bool* isLink)
{
    *isLink = false;
    // Windows 9x has no reparse points, and its CreateFileA knows no such flag.
    if (isNtFamily())
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = platform.CreateFileA(path, access, share, security, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    DWORD kept = GetLastError();
    // Windows shows the link on the handle; Wine, which opens the target, on the name.
    BY_HANDLE_FILE_INFORMATION information;
    *isLink = isLinkAttributes(GetFileAttributesA(path)) ||
              (platform.GetFileInformationByHandle(handle, &information) &&
               isLinkAttributes(information.dwFileAttributes)) ||
              reachedElsewhere(handle, path);
    SetLastError(kept);
    return handle;
}

int handleOwnerTrusted(HANDLE handle, DWORD* error)
{
    *error = ERROR_SUCCESS;
    if (!isNtFamily())
        return 1;  // no owners on Windows 9x
    WellKnownSids sids;
    alignas(TOKEN_USER) BYTE userBuffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    PSID user = processUser(userBuffer, sizeof userBuffer);
    if (!wellKnownSids(sids)) {
        *error = GetLastError();
        return 0;
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    *error = platform.GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                      nullptr, nullptr, &descriptor);
    UniqueLocal descriptorOwner(descriptor);
    if (*error != ERROR_SUCCESS)
        return 0;
    return !owner || EqualSid(owner, sids.administrators.get()) || EqualSid(owner, sids.system.get()) ||
           EqualSid(owner, sids.installer.get()) || (user && EqualSid(owner, user));
}

DWORD handleLinkCount(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!platform.GetFileInformationByHandle(handle, &information))
        return 0;
    return information.nNumberOfLinks;
}

int folderLevelTrusted(const char* level)
{
    if (!isNtFamily())
        return 1;  // Windows 9x has neither owners nor links, nor opens folders
    bool link = false;
    HANDLE opened = openNameItself(level, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr, &link);
    if (opened == INVALID_HANDLE_VALUE) {
        traceCall("CreateFileA (the folder's owner)", GetLastError(), level);
        return 0;
    }
    UniqueHandle held(opened);
    DWORD error = ERROR_SUCCESS;
    if (handleOwnerTrusted(held.get(), &error))
        return 1;
    // An owner that keeps the administrators from reading counts as another.
    if (error != ERROR_SUCCESS)
        traceCall("GetSecurityInfo (owner)", error, level);
    else if (link)
        traceCause("a link that another user made: what it points to could change under the program's files "
                   "(an administrator must make it, or choose another folder)",
                   level);
    else
        traceCause("the folder belongs to another user, who could replace the program's files "
                   "(an administrator must own it, or choose another folder)",
                   level);
    return 0;
}

int folderTreeTrusted(const char* folder)
{
    if (!isNtFamily())
        return 1;
    char level[kPathChars];
    if (!copyText(level, sizeof level, folder))
        return 0;
    // From the folder up to, not including, the drive's root ("C:") or the share.
    size_t rootLength = level[0] == '\\' ? 0 : 2;
    if (level[0] == '\\') {
        const char* share = strchr(level + 2, '\\');
        const char* afterShare = share ? strchr(share + 1, '\\') : nullptr;
        rootLength = afterShare ? size_t(afterShare - level) : boundedLength(level, sizeof level);
    }
    while (boundedLength(level, sizeof level) > rootLength) {
        if (GetFileAttributesA(level) != INVALID_FILE_ATTRIBUTES && !folderLevelTrusted(level))
            return 0;
        size_t cut = lastNameStart(level);
        if (cut == 0)
            break;
        level[cut - 1] = '\0';
    }
    return 1;
}

HANDLE openTrustedName(const char* path, DWORD access, DWORD share, DWORD flags, const char** refusal)
{
    bool link = false;
    // What the checks read; Windows 9x knows only the generic rights.
    if (isNtFamily())
        access |= READ_CONTROL | FILE_READ_ATTRIBUTES;
    HANDLE opened = openNameItself(path, access, share, OPEN_EXISTING, flags, nullptr, &link);
    if (opened == INVALID_HANDLE_VALUE) {
        *refusal = "it cannot be opened";
        return opened;
    }
    UniqueHandle held(opened);
    DWORD error = ERROR_SUCCESS;
    if (link)
        *refusal = "it is a link (a junction, a symbolic link or a mount point)";
    else if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) && handleLinkCount(held.get()) != 1)
        *refusal = "the file has more than one name (a hard link), or its names cannot be counted";
    else if (!handleOwnerTrusted(held.get(), &error))
        *refusal = error != ERROR_SUCCESS ? "its owner cannot be read" : "it belongs to another user";
    else
        return held.release();
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

void deleteFilesInHeldFolder(const char* folder)
{
    char pattern[kPathChars];
    if (!formatText(pattern, sizeof pattern, "%s\\*", folder))
        return;
    forEachFound(pattern, [folder](const WIN32_FIND_DATAA& found) {
        char file[kPathChars];
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLinkAttributes(found.dwFileAttributes) &&
            formatText(file, sizeof file, "%s\\%s", folder, found.cFileName))
            deleteFileName(file);
    });
}

int deleteFileName(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    // Wine deletes what a link to a file names, not the link: the name is opened first.
    const char* refusal = nullptr;
    HANDLE opened = openTrustedName(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &refusal);
    if (opened == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(opened);
    return DeleteFileA(path) != 0;
}

int moveFileName(const char* from, const char* to)
{
    const char* refusal = nullptr;
    HANDLE source = openTrustedName(from, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &refusal);
    if (source == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(source);
    if (GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES) {
        HANDLE there = openTrustedName(to, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &refusal);
        if (there == INVALID_HANDLE_VALUE)
            return 0;
        CloseHandle(there);
    }
    // A rename replaces the name at `to` itself, never what a link there points to.
    // Windows 9x has no links, and no MoveFileExA (a stub that fails).
    if (!isNtFamily())
        return (DeleteFileA(to) || GetLastError() == ERROR_FILE_NOT_FOUND) && MoveFileA(from, to);
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

HANDLE createPrivateFile(const char* path, DWORD access, DWORD share)
{
    bool link = false;
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (!isNtFamily())
        return CreateFileA(path, access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);

    auto setEntriesInAcl = advapiFunction<SetEntriesInAclFunction>("SetEntriesInAclA");
    auto initialize = advapiFunction<InitializeSecurityDescriptorFunction>("InitializeSecurityDescriptor");
    auto setDacl = advapiFunction<SetSecurityDescriptorDaclFunction>("SetSecurityDescriptorDacl");
    auto setControl = advapiFunction<SetSecurityDescriptorControlFunction>("SetSecurityDescriptorControl");
    WellKnownSids sids;
    alignas(TOKEN_USER) BYTE userBuffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    PSID user = processUser(userBuffer, sizeof userBuffer);
    if (!setEntriesInAcl || !initialize || !setDacl || !wellKnownSids(sids)) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    PSID trustees[3] = {sids.administrators.get(), sids.system.get(), user};
    EXPLICIT_ACCESSA entries[3];
    ZeroMemory(entries, sizeof entries);
    ULONG count = 0;
    for (PSID trustee : trustees) {
        if (!trustee)
            continue;
        entries[count].grfAccessPermissions = GENERIC_ALL;
        entries[count].grfAccessMode = SET_ACCESS;
        entries[count].grfInheritance = NO_INHERITANCE;
        entries[count].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[count].Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        entries[count].Trustee.ptstrName = static_cast<LPSTR>(trustee);
        ++count;
    }
    PACL list = nullptr;
    if (setEntriesInAcl(count, entries, nullptr, &list) != ERROR_SUCCESS) {
        SetLastError(ERROR_INVALID_ACL);
        return INVALID_HANDLE_VALUE;
    }
    UniqueLocal listOwner(list);
    SECURITY_DESCRIPTOR descriptor;
    // Windows 2000 on would merge the folder's inheritable entries in unless the list is
    // protected; NT 4.0 inherits nothing into a given list and has no such control.
    if (!initialize(&descriptor, SECURITY_DESCRIPTOR_REVISION) || !setDacl(&descriptor, TRUE, list, FALSE) ||
        (setControl && !setControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    // CREATE_NEW on the name itself: a link there, even one to nothing, makes it fail.
    HANDLE created = openNameItself(path, access, share, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, &attributes, &link);
    if (created != INVALID_HANDLE_VALUE && link) {
        CloseHandle(created);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return created;
}
