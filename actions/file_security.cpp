#include "actions/files.h"
#include "actions/file_security.h"

#include <aclapi.h>
#include <string.h>

#include "actions/registry_records.h"
#include "actions/search_path.h"
#include "platform/guards.h"
#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/trusted_names.h"
#include "setupdata/settings.h"

namespace {

using SetEntriesInAclFunction = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);
using InitializeSecurityDescriptorFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
using SetSecurityDescriptorDaclFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
using SetSecurityDescriptorControlFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR,
                                                           SECURITY_DESCRIPTOR_CONTROL,
                                                           SECURITY_DESCRIPTOR_CONTROL);
using SetNamedSecurityInfoFunction = DWORD(WINAPI*)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                                                    PSID, PSID, PACL, PACL);


// The security functions are not there on every system the program starts on.
template <typename Function>
Function advapiFunction(const char* name)
{
    return procedureOf<Function>(GetModuleHandleA("advapi32.dll"), name);
}

}  // namespace

int secureStagedFile(const char* path)
{
    auto setEntriesInAcl = advapiFunction<SetEntriesInAclFunction>("SetEntriesInAclA");
    auto setNamedSecurityInfo = advapiFunction<SetNamedSecurityInfoFunction>("SetNamedSecurityInfoA");
    if (setEntriesInAcl == nullptr || setNamedSecurityInfo == nullptr)
        return 0;

    SID_IDENTIFIER_AUTHORITY worldAuthority = {SECURITY_WORLD_SID_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    UniqueSid everyone;
    UniqueSid administrators;
    if (!AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  everyone.put()) ||
        !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  administrators.put()))
        return 0;

    EXPLICIT_ACCESSA entries[2];
    ZeroMemory(entries, sizeof entries);
    entries[0].grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].grfInheritance = NO_INHERITANCE;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[0].Trustee.ptstrName = static_cast<LPSTR>(everyone.get());
    entries[1].grfAccessPermissions = GENERIC_ALL;
    entries[1].grfAccessMode = SET_ACCESS;
    entries[1].grfInheritance = NO_INHERITANCE;
    entries[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entries[1].Trustee.ptstrName = static_cast<LPSTR>(administrators.get());

    PACL list = nullptr;
    if (setEntriesInAcl(2, entries, nullptr, &list) != ERROR_SUCCESS)
        return 0;
    UniqueLocal listOwner(list);
    return setNamedSecurityInfo(const_cast<LPSTR>(path), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION,
                                 administrators.get(), administrators.get(), list,
                                 nullptr) == ERROR_SUCCESS;
}

namespace {

// One entry of a new folder's access list.
EXPLICIT_ACCESSA grant(PSID trustee, TRUSTEE_TYPE type, DWORD rights, DWORD inheritance)
{
    EXPLICIT_ACCESSA entry;
    ZeroMemory(&entry, sizeof entry);
    entry.grfAccessPermissions = rights;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = inheritance;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = type;
    entry.Trustee.ptstrName = static_cast<LPSTR>(trustee);
    return entry;
}

// Creates the folder `path` with exactly `entries` as its access list (NT family).
int createFolderWithAccess(const char* path, EXPLICIT_ACCESSA* entries, ULONG count)
{
    auto setEntriesInAcl = advapiFunction<SetEntriesInAclFunction>("SetEntriesInAclA");
    auto initialize = advapiFunction<InitializeSecurityDescriptorFunction>("InitializeSecurityDescriptor");
    auto setDacl = advapiFunction<SetSecurityDescriptorDaclFunction>("SetSecurityDescriptorDacl");
    // Windows 2000 on merges the parent's inheritable entries unless the list is protected;
    // NT 4.0 inherits nothing into a given list and has no such control.
    auto setControl = advapiFunction<SetSecurityDescriptorControlFunction>("SetSecurityDescriptorControl");
    if (!setEntriesInAcl || !initialize || !setDacl)
        return 0;
    PACL list = nullptr;
    if (setEntriesInAcl(count, entries, nullptr, &list) != ERROR_SUCCESS)
        return 0;
    UniqueLocal listOwner(list);

    SECURITY_DESCRIPTOR descriptor;
    if (!initialize(&descriptor, SECURITY_DESCRIPTOR_REVISION) || !setDacl(&descriptor, TRUE, list, FALSE))
        return 0;
    if (setControl && !setControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return 0;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return platform.CreateDirectoryA(path, &attributes) != 0;
}

// The program-files folder's entries, inherited by everything inside: full control for
// the administrators and the system, read and execute for the users.
void programFilesAccess(const WellKnownSids& sids, EXPLICIT_ACCESSA* entries)
{
    entries[0] = grant(sids.administrators.get(), TRUSTEE_IS_GROUP, GENERIC_ALL, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    entries[1] = grant(sids.system.get(), TRUSTEE_IS_USER, GENERIC_ALL, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    entries[2] = grant(sids.users.get(), TRUSTEE_IS_GROUP, GENERIC_READ | GENERIC_EXECUTE,
                       SUB_CONTAINERS_AND_OBJECTS_INHERIT);
}

}  // namespace

int createProtectedFolder(const char* path, int usersRead)
{
    if (!isNtFamily())
        return platform.CreateDirectoryA(path, nullptr) != 0;  // Windows 9x has no access control
    WellKnownSids sids;
    if (!wellKnownSids(sids))
        return 0;
    EXPLICIT_ACCESSA entries[5];
    programFilesAccess(sids, entries);
    return createFolderWithAccess(path, entries, usersRead ? 3 : 2);
}

int createDownloadFolder(const char* path)
{
    if (!isNtFamily())
        return platform.CreateDirectoryA(path, nullptr) != 0;
    WellKnownSids sids;
    if (!wellKnownSids(sids))
        return 0;
    // Users read everything and add files and folders (the right to add a file is, on a
    // file, the right to write it: granted to folders only). What each one adds is theirs.
    EXPLICIT_ACCESSA entries[5];
    programFilesAccess(sids, entries);
    entries[3] = grant(sids.users.get(), TRUSTEE_IS_GROUP, FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                       SUB_CONTAINERS_ONLY_INHERIT);
    entries[4] = grant(sids.creatorOwner.get(), TRUSTEE_IS_WELL_KNOWN_GROUP, GENERIC_ALL,
                       SUB_CONTAINERS_AND_OBJECTS_INHERIT | INHERIT_ONLY);
    return createFolderWithAccess(path, entries, ARRAYSIZE(entries));
}

int folderOwnersTrusted(const char* folder)
{
    return folderTreeTrusted(folder);
}

int createPrivateFolder(const char* path)
{
    return createProtectedFolder(path, 0);
}

namespace {

// Whether the download folder `folder` is there, or made now, as a folder that no
// other user owns or links elsewhere. One that a user made when this run's creation
// lost the race to it fails the check like one made long before.
bool downloadFolderUsable(const char* folder)
{
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            traceCall("GetFileAttributesA (the download folder)", error, folder);
            return false;
        }
        if (!createDownloadFolder(folder) && GetLastError() != ERROR_ALREADY_EXISTS) {
            traceCall("CreateDirectoryA (the download folder)", GetLastError(), folder);
            return false;
        }
        attributes = GetFileAttributesA(folder);
    }
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           folderTreeTrusted(folder);
}

}  // namespace

int trustDownloadFolder(char* folder)
{
    char kept[kPathChars] = "";
    bool isKept = readDownloadFolder(kept) && kept[0];
    if (isKept)
        copyText(folder, kPathChars, kept);
    if (folder[0] && downloadFolderUsable(folder))
        return 1;
    traceCause("the download folder is not recorded; the Windows folder is", folder);
    UINT length = platform.GetWindowsDirectoryA(folder, kPathChars);
    if (length == 0 || length >= kPathChars) {
        traceCall("GetWindowsDirectoryA (no download folder is recorded)", GetLastError(), "");
        folder[0] = '\0';
    }
    return !isKept || replaceDownloadFolder(folder);
}

namespace {

// A folder that exists and is not read-only.
bool isWritableFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ==
               FILE_ATTRIBUTE_DIRECTORY;
}

// Step I6 up to the choice of the download folder, whose owner registerSearchFolders
// then checks.
int registerFolders(char* downloadFolder, uint32_t runFlags)
{
    char searchList[kPathChars];
    char downloadList[kPathChars];
    ZeroMemory(searchList, sizeof searchList);
    size_t searchLength = size_t(readDefaultSearch(searchList));
    if (searchLength == 0)
        return 1;  // no search folders, and the download folder stays the default
    const char* searchEnd = searchList + searchLength;
    splitList(searchList);
    int registered = 1;
    for (char* piece = searchList; piece; piece = nextPiece(piece, searchEnd)) {
        // An empty piece would address the whole search path and clear every registration.
        if (*piece && !applySearchFolder(piece, runFlags))
            registered = 0;  // the other folders are still registered
    }

    // An existing writable search folder serves for downloads; otherwise one is made.
    for (char* piece = searchList; piece && *piece; piece = nextPiece(piece, searchEnd)) {
        if (isWritableFolder(piece))
            return registered;
    }
    ZeroMemory(downloadList, sizeof downloadList);
    size_t downloadLength = size_t(readDownloadFolders(downloadList));
    if (downloadLength == 0)
        return registered;
    const char* downloadEnd = downloadList + downloadLength;
    splitList(downloadList);

    char windowsFolder[kPathChars] = "";
    UINT windowsLength = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    if (windowsLength == 0 || windowsLength >= sizeof windowsFolder)
        return registered;  // without its drive every candidate would be root-relative
    copyText(downloadFolder, kPathChars, windowsFolder);
    windowsFolder[pathRootLength(windowsFolder)] = '\0';  // its drive, for instance C:
    bool missing = false;
    for (char* entry = downloadList; entry && *entry; entry = nextPiece(entry, downloadEnd)) {
        char candidate[kPathChars];
        if (!formatText(candidate, sizeof candidate, "%s%s", windowsFolder, entry))
            continue;  // a candidate too long for a path is no candidate
        copyText(downloadFolder, kPathChars, candidate);
        if (GetFileAttributesA(candidate) == INVALID_FILE_ATTRIBUTES) {
            missing = true;
            break;
        }
    }
    if (missing && createDownloadFolder(downloadFolder))
        applySearchFolder(downloadFolder, runFlags);  // its result does not matter
    return registered;
}

}  // namespace

int registerSearchFolders(char* downloadFolder, uint32_t runFlags)
{
    int registered = registerFolders(downloadFolder, runFlags);
    // The application trusts the recorded download folder: one that is missing is made,
    // and one that another user made (or made when this run's creation lost the race),
    // or a link that another user made, is not recorded.
    return trustDownloadFolder(downloadFolder) && registered;
}
