#include "actions/files.h"
#include "actions/file_security.h"

#include <aclapi.h>

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

int secureStagedFile(const char* path)
{
    using SetNamedSecurityInfoFunction = DWORD(WINAPI*)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID,
                                                        PACL, PACL);
    auto SetNamedSecurityInfoA = advapiFunction<SetNamedSecurityInfoFunction>("SetNamedSecurityInfoA");
    WellKnownSids sids;
    if (!SetNamedSecurityInfoA || !TRACED(wellKnownSids, (sids), path))
        return 0;
    EXPLICIT_ACCESSA entries[2] = {accessEntry(sids.everyone.get(), GENERIC_READ | GENERIC_EXECUTE, NO_INHERITANCE),
                                   accessEntry(sids.administrators.get(), GENERIC_ALL, NO_INHERITANCE)};
    NewObjectSecurity security;
    PACL list = newObjectSecurity(entries, 2, security) ? static_cast<PACL>(security.list.get()) : nullptr;
    return list && TRACED_STATUS(SetNamedSecurityInfoA, (const_cast<LPSTR>(path), SE_FILE_OBJECT,
                                                       OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                           DACL_SECURITY_INFORMATION,
                                                       sids.administrators.get(), sids.administrators.get(), list,
                                                       nullptr),
                                 path) == ERROR_SUCCESS;
}

namespace {

// Creates the new folder `path` with the first `count` of these entries, inherited by
// everything inside and nothing from its parent (NT family): full control for the
// administrators and the system, read and execute for the users (the program-files
// folder's), then for a download folder the users' right to add files and folders
// (on a file, the right to add one is the right to write it: granted to folders only),
// each one's own being theirs. A plain folder on Windows 9x, which has no access control.
int createFolderWithAccess(const char* path, ULONG count)
{
    if (!isNtFamily())
        return platform.CreateDirectoryA(path, nullptr) != 0;
    WellKnownSids sids;
    NewObjectSecurity security;
    if (!wellKnownSids(sids))
        return 0;
    const DWORD all = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    EXPLICIT_ACCESSA entries[] = {
        accessEntry(sids.administrators.get(), GENERIC_ALL, all), accessEntry(sids.system.get(), GENERIC_ALL, all),
        accessEntry(sids.users.get(), GENERIC_READ | GENERIC_EXECUTE, all),
        accessEntry(sids.users.get(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, SUB_CONTAINERS_ONLY_INHERIT),
        accessEntry(sids.creatorOwner.get(), GENERIC_ALL, all | INHERIT_ONLY)};
    return newObjectSecurity(entries, count, security) && platform.CreateDirectoryA(path, &security.attributes) != 0;
}

}  // namespace

int createProtectedFolder(const char* path, int usersRead)
{
    return createFolderWithAccess(path, usersRead ? 3 : 2);
}

int createDownloadFolder(const char* path)
{
    return createFolderWithAccess(path, 5);
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
    // The Windows folder always fits a path; only a failure is traced.
    UINT length = TRACED(platform.GetWindowsDirectoryA, (folder, kPathChars), "");
    if (length == 0 || length >= kPathChars)
        folder[0] = '\0';
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
