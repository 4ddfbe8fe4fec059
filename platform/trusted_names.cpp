#include "platform/trusted_names.h"

#include <aclapi.h>
#include <string.h>

#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace {

// The path that the open `handle` names, into `out`, in the form of a path that a user
// gives ("C:\..." or "\\server\share\..."); 0 where the system cannot tell (before
// Vista) or the path does not fit.
int handlePath(HANDLE handle, char* out)
{
    using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    auto finalPath = procedureOf<FinalPathFunction>(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA");
    char reached[kPathChars + 8];
    DWORD length = finalPath ? finalPath(handle, reached, sizeof reached, 0) : 0;
    if (length == 0 || length >= sizeof reached)
        return 0;
    if (strncmp(reached, "\\\\?\\UNC\\", 8) == 0)
        return formatText(out, kPathChars, "\\%s", reached + 7);
    return copyText(out, kPathChars, strncmp(reached, "\\\\?\\", 4) == 0 ? reached + 4 : reached);
}

// Whether the open `handle` names a file or folder under another path than `path`: a
// link on the way led elsewhere (Wine shows a link to a file only this way). No
// judgement (false) where the system cannot tell the handle's path (before Vista) or
// the paths cannot be compared.
bool reachedElsewhere(HANDLE handle, const char* path)
{
    using LongPathFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
    // Not on NT 4.0.
    auto longPath = procedureOf<LongPathFunction>(GetModuleHandleA("kernel32.dll"), "GetLongPathNameA");
    char reached[kPathChars];
    char named[kPathChars];
    DWORD namedLength = longPath ? longPath(path, named, sizeof named) : 0;
    if (!handlePath(handle, reached) || namedLength == 0 || namedLength >= sizeof named)
        return false;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, reached, -1, named, -1) != CSTR_EQUAL;
}

// Deleting and renaming an open file by its handle (Vista on), so that what was
// checked is what changes, whatever its name leads to by then. Looked up at run time:
// Windows 98 and NT 4.0 lack it, and there the name is acted on after the check.
using SetFileInformationFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
const int kFileRenameInfo = 3;
const int kFileDispositionInfo = 4;

SetFileInformationFunction handleInformationSetter()
{
    if (!isNtFamily())
        return nullptr;
    return procedureOf<SetFileInformationFunction>(GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
}

// Marks the file of `handle` (opened with DELETE access) for deletion when its last
// handle closes; a failure is traced on `path`. -1 where the system cannot delete by
// handle.
int deleteByHandle(HANDLE handle, const char* path)
{
    SetFileInformationFunction SetFileInformationByHandle = handleInformationSetter();
    if (!SetFileInformationByHandle)
        return -1;
    BOOLEAN deleteFile = TRUE;
    return TRACED(SetFileInformationByHandle, (handle, kFileDispositionInfo, &deleteFile, sizeof deleteFile),
                  path) != 0;
}

// Gives the file of `handle` (opened with DELETE access) the name `to`, replacing the
// name there itself (a file, or a link, never what a link points to); a failure is
// traced. -1 where the system cannot rename by handle.
int renameByHandle(HANDLE handle, const char* to)
{
    SetFileInformationFunction SetFileInformationByHandle = handleInformationSetter();
    if (!SetFileInformationByHandle)
        return -1;
    // Vista and 7 hand the name to the file system as it stands, which takes only the NT
    // form ("\??\C:\...", "\??\UNC\server\..."); later systems convert a DOS path,
    // and leave that form as it is.
    bool share = to[0] == '\\' && to[1] == '\\';
    char ntName[kPathChars + 8];
    struct {
        DWORD replaceIfExists;
        HANDLE rootDirectory;
        DWORD nameBytes;
        WCHAR name[kPathChars + 8];
    } rename = {TRUE, nullptr, 0, {}};
    int length = 0;
    if (!formatText(ntName, sizeof ntName, share ? "\\??\\UNC%s" : "\\??\\%s", share ? to + 1 : to) ||
        (length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ntName, -1, rename.name, kPathChars + 8)) <= 1) {
        traceCause("the new name has no NT form", to);
        return 0;
    }
    rename.nameBytes = DWORD(length - 1) * sizeof(WCHAR);
    return TRACED(SetFileInformationByHandle, (handle, kFileRenameInfo, &rename, sizeof rename), to) != 0;
}

}  // namespace

int reachedPath(const char* path, char* out)
{
    HANDLE opened = platform.CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return 0;
    UniqueHandle through(opened);
    return handlePath(through.get(), out);
}

namespace {

// Where a chain of links may lead through administrators' links before it is refused.
const int kLinkDepth = 8;

int treeTrusted(const char* folder, int depth);

}  // namespace

bool isLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool wellKnownSids(WellKnownSids& sids)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY creator = {SECURITY_CREATOR_SID_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    return AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                    0, sids.administrators.put()) &&
           AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, sids.system.put()) &&
           AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0,
                                    sids.users.put()) &&
           AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0, 0, 0,
                                    sids.creatorOwner.put()) &&
           AllocateAndInitializeSid(&nt, 6, 80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u, 0,
                                    0, sids.installer.put()) &&
           AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, sids.everyone.put());
}

FARPROC advapiProcedure(const char* name)
{
    return GetProcAddress(GetModuleHandleA("advapi32.dll"), name);
}

EXPLICIT_ACCESSA accessEntry(PSID trustee, DWORD rights, DWORD inheritance)
{
    EXPLICIT_ACCESSA entry;
    ZeroMemory(&entry, sizeof entry);
    entry.grfAccessPermissions = rights;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = inheritance;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
    entry.Trustee.ptstrName = static_cast<LPSTR>(trustee);
    return entry;
}

int newObjectSecurity(EXPLICIT_ACCESSA* entries, ULONG count, NewObjectSecurity& out)
{
    using InitializeFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
    using SetDaclFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
    using SetControlFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                             SECURITY_DESCRIPTOR_CONTROL);
    auto InitializeSecurityDescriptor = advapiFunction<InitializeFunction>("InitializeSecurityDescriptor");
    auto SetSecurityDescriptorDacl = advapiFunction<SetDaclFunction>("SetSecurityDescriptorDacl");
    // Windows 2000 on merges the parent's inheritable entries unless the list is protected;
    // NT 4.0 inherits nothing into a given list and has no such control.
    auto SetSecurityDescriptorControl = advapiFunction<SetControlFunction>("SetSecurityDescriptorControl");
    using SetEntriesInAclFunction = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);
    auto SetEntriesInAclA = advapiFunction<SetEntriesInAclFunction>("SetEntriesInAclA");
    PACL list = nullptr;
    if (!SetEntriesInAclA || TRACED_STATUS(SetEntriesInAclA, (count, entries, nullptr, &list), nullptr) != ERROR_SUCCESS)
        return 0;
    out.list.reset(list);
    if (!InitializeSecurityDescriptor || !SetSecurityDescriptorDacl ||
        !InitializeSecurityDescriptor(&out.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&out.descriptor, TRUE, list, FALSE) ||
        (SetSecurityDescriptorControl &&
         !SetSecurityDescriptorControl(&out.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)))
        return 0;
    out.attributes = {sizeof out.attributes, &out.descriptor, FALSE};
    return 1;
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

namespace {

int levelTrusted(const char* level, int depth)
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
    if (handleOwnerTrusted(held.get(), &error)) {
        // A link that an administrator made is only as safe as the folders it leads to.
        char target[kPathChars];
        // One that reaches itself (a volume mounted on a folder) leads nowhere else.
        if (!link || !reachedPath(level, target) || lstrcmpiA(target, level) == 0)
            return 1;
        if (depth >= kLinkDepth) {
            traceCause("a chain of links too long to follow", level);
            return 0;
        }
        return treeTrusted(target, depth + 1);
    }
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

int treeTrusted(const char* folder, int depth)
{
    if (!isNtFamily())
        return 1;
    char level[kPathChars];
    if (!copyText(level, sizeof level, folder))
        return 0;
    // From the folder up to, not including, the drive's root ("C:") or the share.
    size_t rootLength = pathRootLength(level);
    while (boundedLength(level, sizeof level) > rootLength) {
        // Only a level that is not there passes unseen; one that cannot be looked at
        // for another cause (a drive not ready, access refused) is no proof of anything.
        if (platform.GetFileAttributesA(level) == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                traceCall("GetFileAttributesA (a folder level)", error, level);
                return 0;
            }
        } else if (!levelTrusted(level, depth)) {
            return 0;
        }
        level[parentLength(level)] = '\0';  // one level up; without one, the walk ends
    }
    return 1;
}

}  // namespace

int folderTreeTrusted(const char* folder)
{
    return treeTrusted(folder, 0);
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
    HANDLE opened = openTrustedName(path, isNtFamily() ? DELETE : 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &refusal);
    if (opened == INVALID_HANDLE_VALUE) {
        traceCause(refusal, path);
        return 0;
    }
    UniqueHandle held(opened);
    int deleted = deleteByHandle(held.get(), path);
    if (deleted < 0) {
        held.reset();
        deleted = TRACED(DeleteFileA, (path), path) != 0;
    }
    return deleted;
}

int moveFileName(const char* from, const char* to)
{
    const char* refusal = nullptr;
    HANDLE source = openTrustedName(from, isNtFamily() ? DELETE : 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &refusal);
    if (source == INVALID_HANDLE_VALUE) {
        traceCause(refusal, from);
        return 0;
    }
    UniqueHandle held(source);
    // A rename replaces the name at `to` itself (a file, or a link, never what a link
    // points to), in one step: there is no moment without a file of that name.
    int moved = renameByHandle(held.get(), to);
    if (moved < 0) {
        held.reset();
        // Windows 9x has no links, and no MoveFileExA (a stub that fails).
        if (!isNtFamily())
            moved = (DeleteFileA(to) || GetLastError() == ERROR_FILE_NOT_FOUND) && TRACED(MoveFileA, (from, to), to);
        else
            moved = TRACED(MoveFileExA, (from, to, MOVEFILE_REPLACE_EXISTING), to) != 0;
    }
    return moved;
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

    WellKnownSids sids;
    alignas(TOKEN_USER) BYTE userBuffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    PSID user = processUser(userBuffer, sizeof userBuffer);
    NewObjectSecurity security;
    EXPLICIT_ACCESSA entries[3];
    ULONG count = 0;
    if (wellKnownSids(sids)) {
        PSID trustees[] = {sids.administrators.get(), sids.system.get(), user};
        for (PSID trustee : trustees) {
            if (trustee)
                entries[count++] = accessEntry(trustee, GENERIC_ALL, NO_INHERITANCE);
        }
    }
    if (count == 0 || !newObjectSecurity(entries, count, security)) {
        SetLastError(ERROR_INVALID_ACL);
        return INVALID_HANDLE_VALUE;
    }
    // CREATE_NEW on the name itself: a link there, even one to nothing, makes it fail.
    // A folder on the way that became a link since it was checked shows on the handle:
    // the file made there goes again (by its handle, where the system can).
    HANDLE created = openNameItself(path, access | DELETE | FILE_READ_ATTRIBUTES, share, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, &security.attributes, &link);
    if (created != INVALID_HANDLE_VALUE && link) {
        traceCause("the new file was reached through a link: it is deleted again", path);
        if (deleteByHandle(created, path) < 0)
            traceCause("the system cannot delete a file by its handle: the new file stays", path);
        CloseHandle(created);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return created;
}
