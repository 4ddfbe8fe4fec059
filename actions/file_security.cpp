#include "actions/files.h"
#include "actions/file_security.h"

#include <aclapi.h>
#include <string.h>

#include "actions/registry_records.h"
#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/trusted_names.h"

int secureStagedFile(const char* path)
{
    using SetNamedSecurityInfoFunction = DWORD(WINAPI*)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID,
                                                        PACL, PACL);
    auto SetNamedSecurityInfoA =
        procedureOf<SetNamedSecurityInfoFunction>(GetModuleHandleA("advapi32.dll"), "SetNamedSecurityInfoA");
    WellKnownSids sids;
    if (!SetNamedSecurityInfoA || !TRACED(wellKnownSids(sids), path))
        return 0;
    EXPLICIT_ACCESSA entries[2] = {accessEntry(sids.everyone.get(), GENERIC_READ | GENERIC_EXECUTE, NO_INHERITANCE),
                                   accessEntry(sids.administrators.get(), GENERIC_ALL, NO_INHERITANCE)};
    NewObjectSecurity security;
    PACL list = newObjectSecurity(entries, 2, security) ? static_cast<PACL>(security.list.get()) : nullptr;
    return list && TRACED_STATUS(SetNamedSecurityInfoA(const_cast<LPSTR>(path), SE_FILE_OBJECT,
                                                       OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                           DACL_SECURITY_INFORMATION,
                                                       sids.administrators.get(), sids.administrators.get(), list,
                                                       nullptr),
                                 path) == ERROR_SUCCESS;
}

namespace {

// Creates the folder `path` with exactly `entries` as its access list (NT family).
int createFolderWithAccess(const char* path, EXPLICIT_ACCESSA* entries, ULONG count)
{
    NewObjectSecurity security;
    return newObjectSecurity(entries, count, security) && platform.CreateDirectoryA(path, &security.attributes) != 0;
}

// The program-files folder's entries, inherited by everything inside: full control for
// the administrators and the system, read and execute for the users.
void programFilesAccess(const WellKnownSids& sids, EXPLICIT_ACCESSA* entries)
{
    entries[0] = accessEntry(sids.administrators.get(), GENERIC_ALL, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    entries[1] = accessEntry(sids.system.get(), GENERIC_ALL, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    entries[2] = accessEntry(sids.users.get(), GENERIC_READ | GENERIC_EXECUTE, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
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
    entries[3] = accessEntry(sids.users.get(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, SUB_CONTAINERS_ONLY_INHERIT);
    entries[4] = accessEntry(sids.creatorOwner.get(), GENERIC_ALL, SUB_CONTAINERS_AND_OBJECTS_INHERIT | INHERIT_ONLY);
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
