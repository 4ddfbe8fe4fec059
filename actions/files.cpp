#include "actions/files.h"

#include <shellapi.h>
#include <string.h>

#include "actions/deferred.h"
#include "actions/file_plan.h"
#include "actions/file_security.h"
#include "platform/guards.h"
#include "platform/narrow_paths.h"
#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/trusted_names.h"
#include "setupdata/run_flags.h"
#include "setupdata/setup_data.h"

namespace {


// No operation may wait on a dialog: a locked or unreadable file fails the phase
// instead of showing the shell's error box, which nobody answers in a silent run.
const FILEOP_FLAGS kCopyFlags = FOF_MULTIDESTFILES | FOF_SILENT | FOF_NOCONFIRMATION |
                                FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
const FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;

// The shell's result for the operation: 0 when it did all it was asked to.
int runFileOperation(HWND owner, UINT operation, const char* from, const char* to,
                     FILEOP_FLAGS flags)
{
    SHFILEOPSTRUCTA request;
    ZeroMemory(&request, sizeof request);
    request.hwnd = owner;
    request.wFunc = operation;
    request.pFrom = from;
    request.pTo = to;
    request.fFlags = flags;
    // An operation the shell reports aborted did not do all it was asked to.
    int result = platform.SHFileOperationA(&request);
    static const char* const kNames[] = {"", "SHFileOperationA (move)", "SHFileOperationA (copy)",
                                         "SHFileOperationA (delete)", "SHFileOperationA (rename)"};
    const char* name = operation < 5 ? kNames[operation] : "SHFileOperationA";
    if (result != 0)
        traceCall(name, unsigned(result), from);  // the list's first path
    else if (request.fAnyOperationsAborted)
        traceCause("the shell reports the operation aborted", from);
    return result != 0 ? result : request.fAnyOperationsAborted ? ERROR_CANCELLED : 0;
}

// Names the first path of `list` that is not there: the shell's code for a failed copy
// does not say which source was missing.
void traceMissingPath(const PathList& list)
{
    for (size_t i = 0; i < list.count; ++i) {
        if (GetFileAttributesA(list.paths[i]) == INVALID_FILE_ATTRIBUTES) {
            traceCall("GetFileAttributesA", GetLastError(), list.paths[i]);
            return;
        }
    }
}


// Deletes one file through the shell, as the other deletions are made.
int deletePath(HWND owner, const char* path)
{
    char list[kPathChars + 1];
    if (!copyText(list, kPathChars, path))
        return 0;
    list[boundedLength(list, kPathChars) + 1] = '\0';
    return runFileOperation(owner, FO_DELETE, list, nullptr, kDeleteFlags) == 0;
}

// Removes a file of the program folder that must not stay: at once, or at the restart.
int removeStrayFile(HWND owner, const char* folder, const char* name,
                    int restartNeeded)
{
    char found[kPathChars];
    if (!fileInFolder(folder, name, found))
        return 1;  // the installed list was formed in the same folder, so the path fits
    if (!restartNeeded)
        return deletePath(owner, found);
    const char* paths[1] = {found};
    return scheduleDeletions(paths, 1);
}

// Whether another process has `path` open so that it cannot be replaced or deleted now
// (a running program, a loaded DLL, a file held without sharing): it cannot be opened
// for exclusive write and delete access, for a sharing or a lock violation. A file that
// is not there, a folder, or one refused for another cause is not in use; that cause
// goes into `*error` (ERROR_SUCCESS when it opens). Each file in use is traced.
bool fileInUse(const Places& places, const char* path, DWORD* error = nullptr)
{
    // Windows 9x knows neither the delete access nor opening a link itself.
    HANDLE probe = platform.CreateFileA(path, places.nt ? GENERIC_WRITE | DELETE : GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, places.nt ? FILE_FLAG_OPEN_REPARSE_POINT : 0, nullptr);
    DWORD cause = probe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    if (error)
        *error = cause;
    if (cause != ERROR_SHARING_VIOLATION && cause != ERROR_LOCK_VIOLATION)
        return false;
    traceCall("CreateFileA (a file in use: the files wait for the restart)", cause, path);
    return true;
}

// What a move or deletion left in place, judged by what is there, not by what the shell
// reported: each entry of `remaining` still there (a staged copy not moved, a file not
// deleted) leaves the file of `targets` at its index, which goes into `left`. Files in
// use, now or during the operation (`shellResult`), wait for the restart with those
// the operation left after them. A file refused for another cause fails the phase, as
// do files left while none is in use, each traced. 1 when none fails.
int judgeFilesLeft(const Places& places, const PathList& remaining, const PathList& targets, int shellResult,
                   size_t* left, size_t* leftCount)
{
    bool refused = false;
    bool inUse = shellResult == ERROR_SHARING_VIOLATION || shellResult == ERROR_LOCK_VIOLATION;
    *leftCount = 0;
    for (size_t i = 0; i < remaining.count; ++i) {
        DWORD error = ERROR_SUCCESS;
        if (GetFileAttributesA(remaining.paths[i]) == INVALID_FILE_ATTRIBUTES)
            continue;
        left[(*leftCount)++] = i;
        if (fileInUse(places, targets.paths[i], &error)) {
            inUse = true;
        } else if (error != ERROR_SUCCESS) {
            traceCall("CreateFileA (a file left for another cause than use: the phase fails)", error, targets.paths[i]);
            refused = true;
        }
    }
    for (size_t j = 0; j < *leftCount && !inUse && !refused; ++j)
        traceCause("a file left while none is in use: the phase fails", targets.paths[left[j]]);
    return !refused && (inUse || *leftCount == 0);
}

// Whether a file that the run would replace or delete in `folder` or the Windows
// folder is in use: the installed files and the stray ones of an installation, the
// installed files of a removal except the uninstaller, which goes at the restart anyway
// (and is the removal's own program). Every file is looked at, so that each is traced.
bool filesInUse(const Places& places, const char* folder, bool install)
{
    PathList installed;
    if (!buildInstalledList(places, folder, installed))
        return false;  // the run fails on the paths before it touches anything
    bool inUse = false;
    for (size_t i = install ? 0 : 1; i < installed.count; ++i)
        inUse |= fileInUse(places, installed.paths[i]);
    const char* strays[] = {places.otherSettingsName, places.nt ? kManifestName : nullptr};
    for (const char* name : strays) {
        char found[kPathChars];
        if (install && name && fileInFolder(folder, name, found))
            inUse |= fileInUse(places, found);
    }
    return inUse;
}

// A number no other user can foretell, so that nobody can take the staging folder's
// name first. RtlGenRandom (XP on); elsewhere what the moment gives.
DWORD unpredictableNumber()
{
    using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    GenRandom genRandom = procedureOf<GenRandom>(GetModuleHandleA("advapi32.dll"), "SystemFunction036");
    DWORD number = 0;
    if (genRandom && genRandom(&number, sizeof number))
        return number;
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return DWORD(counter.LowPart * 2654435761u) ^ now.dwLowDateTime ^ (GetCurrentProcessId() << 16) ^
           GetTickCount() ^ GetCurrentThreadId();
}

// A folder handle that lets others read and write inside but not remove the folder:
// while a run holds it, no other run takes its staging folder for a leftover.
HANDLE holdFolder(const char* path, DWORD share)
{
    bool link = false;
    HANDLE handle = openNameItself(path, GENERIC_READ, share, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr,
                                   &link);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// Removes the staging folders that runs ended before their time (killed, a power cut)
// left in `tempFolder`: a folder of that name pattern and owner that no running setup
// holds and whose copies no pending restart operation waits for. NT family only:
// Windows 9x has neither the private folders nor the share modes that tell a live one.
// Every user may write the temporary folder: an entry that is a link is left alone, and
// the files go only from the folder that was checked, held so that it can be neither
// renamed nor swapped for a link meanwhile.
void removeEarlierStagingFolders(const char* tempFolder)
{
    char pattern[kPathChars];
    if (!isNtFamily() || !formatText(pattern, sizeof pattern, "%s%s*", tempFolder, kStagingPrefix))
        return;
    forEachFound(pattern, [tempFolder](const WIN32_FIND_DATAA& found) {
        char folder[kPathChars];
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || isLinkAttributes(found.dwFileAttributes) ||
            boundedLength(found.cFileName, MAX_PATH) != kStagingNameChars ||
            !formatText(folder, sizeof folder, "%s%s", tempFolder, found.cFileName))
            return;
        // A running setup holds its folder open: then it cannot be opened alone.
        if (!UniqueHandle(holdFolder(folder, 0)))
            return;
        const char* refusal = nullptr;
        HANDLE opened = openTrustedName(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        FILE_FLAG_BACKUP_SEMANTICS, &refusal);
        if (opened == INVALID_HANDLE_VALUE) {
            traceCause(refusal, folder);
            return;
        }
        UniqueHandle held(opened);
        if (pendingOperationsWithin(folder))
            return;
        deleteFilesInHeldFolder(folder);
        held.reset();
        RemoveDirectoryA(folder);  // a link put there meanwhile goes itself, never what it names
    });
}

// The run's own folder for the staged copies, under the temporary folder (or beside
// the destination, see stagingParent). It goes with the copies when the run is done
// with them, unless they wait for the restart.
class StagingFolder {
public:
    explicit StagingFolder(const PathList& staged) : staged_(staged) {}
    ~StagingFolder()
    {
        held_.reset();
        if (!made_ || kept_)
            return;
        for (size_t i = 0; i < staged_.count; ++i)
            DeleteFileA(staged_.paths[i]);
        RemoveDirectoryA(path_);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // A new folder under `parent` (which ends with a backslash), under a name that no
    // one else has taken: an existing one, whoever made it, is never used.
    int create(const char* parent)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (!formatText(path_, sizeof path_, "%s%s%08X", parent, kStagingPrefix, unsigned(unpredictableNumber())))
                return 0;
            if (createPrivateFolder(path_)) {
                made_ = true;
                held_.reset(holdFolder(path_, FILE_SHARE_READ | FILE_SHARE_WRITE));
                return 1;
            }
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                traceCall("CreateDirectoryA", GetLastError(), path_);
                return 0;
            }
        }
        traceCause("no free name for a staging folder in", parent);
        return 0;
    }
    const char* path() const { return path_; }
    bool made() const { return made_; }
    // The copies wait for the restart: the folder stays, and goes after them there.
    void keep()
    {
        kept_ = true;
        held_.reset();
        const char* folder = path_;
        if (made_ && isNtFamily())
            scheduleDeletions(&folder, 1);
    }

private:
    const PathList& staged_;
    char path_[kPathChars] = "";
    bool made_ = false;
    bool kept_ = false;
    UniqueHandle held_;
};

// Whether `a` and `b` lie on one volume, so that a rename from one to the other can
// succeed. Without GetVolumePathNameA (NT 4.0), by their drive or network share.
bool sameVolume(const char* a, const char* b)
{
    using VolumePathFunction = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);
    VolumePathFunction volumePath =
        procedureOf<VolumePathFunction>(GetModuleHandleA("kernel32.dll"), "GetVolumePathNameA");
    char volumeA[kPathChars];
    char volumeB[kPathChars];
    if (volumePath && volumePath(a, volumeA, kPathChars) && volumePath(b, volumeB, kPathChars))
        return lstrcmpiA(volumeA, volumeB) == 0;
    size_t length = pathRootLength(a);
    return length == pathRootLength(b) &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, int(length), b, int(length)) == CSTR_EQUAL;
}

// Where the copies for `destination` are staged: in the temporary folder, or, when
// they wait for the restart on the NT family and the temporary folder lies on another
// volume, beside them in `destination` itself: the restart renames and cannot move a
// file across volumes, so it would delete the old file and put nothing in its place.
int stagingParent(const char* tempFolder, const char* destination, bool deferredRename, char* out)
{
    if (!deferredRename || sameVolume(tempFolder, destination))
        return copyText(out, kPathChars, tempFolder);
    return formatText(out, kPathChars, "%s\\", destination);
}

// A staged copy `*source` that waits for the restart but lies on another volume than
// its destination folder is moved beside it first, into `stage` (made on first use), and
// `*source` then names it there: the restart renames within a volume only.
int restageForRestart(const Places& places, const char* tempFolder, const char* destinationFolder, const char* name,
                      StagingFolder& stage, PathList& restaged, const char** source)
{
    char parent[kPathChars];
    if (!places.nt)
        return 1;  // WININIT.INI waits in the temporary folder
    if (!stagingParent(tempFolder, destinationFolder, true, parent))
        return 0;
    if (lstrcmpiA(parent, tempFolder) == 0)
        return 1;
    if (!stage.made() && !stage.create(parent))
        return 0;
    if (!addPath(restaged, stage.path(), "\\", name)) {
        traceCause("the staging folder is too long for the file paths", stage.path());
        return 0;
    }
    if (!TRACED(MoveFileExA, (*source, restaged.paths[restaged.count - 1], MOVEFILE_COPY_ALLOWED), *source))
        return 0;
    *source = restaged.paths[restaged.count - 1];
    return 1;
}

int installFiles(const Places& places, HWND owner, const char* folder, int* restartNeeded)
{
    // Every path is formed before anything is copied, so that a folder too long for
    // the paths or the lists fails with nothing changed.
    char sourceFolder[kPathChars];
    char tempFolder[kPathChars];
    DWORD length = platform.GetModuleFileNameA(nullptr, sourceFolder, sizeof sourceFolder);
    if (length == 0 || length >= sizeof sourceFolder)
        return 0;
    char* lastSlash = lastSeparator(sourceFolder);
    if (!lastSlash)
        return 0;
    *lastSlash = '\0';
    if (!tempFolderPath(tempFolder))
        return 0;
    removeEarlierStagingFolders(tempFolder);

    bool deferredRename = *restartNeeded && places.nt;
    char programParent[kPathChars];
    char windowsParent[kPathChars];
    if (!stagingParent(tempFolder, folder, deferredRename, programParent) ||
        !stagingParent(tempFolder, places.windowsFolder, deferredRename, windowsParent)) {
        traceCause("the program folder is too long for the file paths", folder);
        return 0;
    }
    PathList sources;
    PathList staged;
    PathList installed;
    clearList(sources);
    clearList(staged);
    StagingFolder programStage(staged);
    StagingFolder windowsStage(staged);
    // A staging folder beside the program's files needs their folder first.
    if (lstrcmpiA(programParent, tempFolder) != 0 && !createFolderTree(folder))
        return 0;
    if (!programStage.create(programParent))
        return 0;
    const char* windowsStagePath = programStage.path();
    if (lstrcmpiA(windowsParent, programParent) != 0) {
        if (!windowsStage.create(windowsParent))
            return 0;
        windowsStagePath = windowsStage.path();
    }
    for (int i = 0; i < kFileCount; ++i) {
        if (!addPath(sources, sourceFolder, "\\", places.sources[i]) ||
            !addPath(staged, i == 0 ? windowsStagePath : programStage.path(), "\\", places.targets[i])) {
            traceCause("the setup or staging folder is too long for the file paths", sourceFolder);
            return 0;
        }
    }
    if (!formInstalledPaths(places, folder, installed)) {
        traceCause("the program folder is too long for the file paths", folder);
        return 0;
    }

    if (runFileOperation(owner, FO_COPY, sources.text, staged.text, kCopyFlags) != 0) {
        traceMissingPath(sources);
        return 0;
    }
    if (!createFolderTree(folder))
        return 0;
    // A copy without its access list would keep the staging folder's, which lets no
    // user run the application.
    for (size_t i = 0; places.nt && i < staged.count; ++i) {
        if (!secureStagedFile(staged.paths[i]))
            return 0;
    }
    // What an earlier run left for the restart on these files (a removal's deletions,
    // an older version's replacements) would undo this installation there.
    if (!withdrawPendingOperations(installed.paths, installed.count))
        return 0;
    if (!removeStrayFile(owner, folder, places.otherSettingsName, *restartNeeded))
        return 0;
    // No manifest is installed; one left in the folder would override the application's own.
    if (places.nt && !removeStrayFile(owner, folder, kManifestName, *restartNeeded))
        return 0;

    // Copies moved beside their destination when a move stopped part way (below).
    PathList restaged;
    clearList(restaged);
    StagingFolder lateStages[2] = {StagingFolder(restaged), StagingFolder(restaged)};
    const char* sourcesLeft[kFileCount];
    const char* targetsLeft[kFileCount];
    size_t left = 0;
    if (!*restartNeeded) {
        // What moved is read from the staged copies: the shell stops part way at a file
        // that the application took meanwhile, and may even report success with it
        // left as it was. The files in use wait for the restart, so that the folder
        // does not stay a mix of two versions.
        int result = runFileOperation(owner, FO_MOVE, staged.text, installed.text, kCopyFlags);
        size_t leftIndex[kFileCount];
        if (!judgeFilesLeft(places, staged, installed, result, leftIndex, &left))
            return 0;
        if (left == 0)
            return 1;
        *restartNeeded = 1;
        for (size_t j = 0; j < left; ++j) {
            size_t i = leftIndex[j];
            sourcesLeft[j] = staged.paths[i];
            targetsLeft[j] = installed.paths[i];
            traceCause("the move into place stopped part way: replaced at the next restart", targetsLeft[j]);
            if (!restageForRestart(places, tempFolder, i == 0 ? places.windowsFolder : folder, places.targets[i],
                                   lateStages[i == 0 ? 0 : 1], restaged, &sourcesLeft[j]))
                return 0;
        }
    } else {
        for (; left < installed.count; ++left) {
            sourcesLeft[left] = staged.paths[left];
            targetsLeft[left] = installed.paths[left];
        }
    }
    // The application runs: its files are replaced at the next restart. The staged
    // copies are the sources of those replacements and stay until then, also when a
    // later one cannot be scheduled; their emptied folders go after them (WININIT.INI
    // can delete files only: on Windows 9x the empty folder stays).
    int scheduled = 1;
    for (size_t i = 0; i < left && scheduled; ++i)
        scheduled = scheduleReplacement(sourcesLeft[i], targetsLeft[i]);
    programStage.keep();
    windowsStage.keep();
    for (StagingFolder& late : lateStages) {
        if (late.made())
            late.keep();
    }
    return scheduled;
}

// Whether the files of `folder` can be looked for: the folder is there, or it is gone
// from a volume that is there (deleted by hand). A drive that is unplugged, a network
// share that is disconnected, a drive letter that no longer exists are out of reach:
// their files are not "already removed", and neither are those of a drive without
// media (an empty card reader), which answers ERROR_NOT_READY.
bool folderReachable(const char* folder)
{
    DWORD attributes = platform.GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return true;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return false;
    // The root: C:\ or \\server\share\.
    char root[kPathChars];
    if (!copyText(root, sizeof root, folder))
        return false;
    root[pathRootLength(root)] = '\0';
    if (!endWithSeparator(root, sizeof root))
        return false;
    attributes = GetFileAttributesA(root);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int removeFiles(const Places& places, HWND owner, const char* folder, int* restartNeeded)
{
    PathList installed;
    if (!buildInstalledList(places, folder, installed)) {
        traceCause("the program folder is too long for the file paths", folder);
        return 0;
    }
    const char* uninstaller = installed.paths[0];
    if (!folderReachable(folder)) {
        traceCall("GetFileAttributesA (the program folder is out of reach)", GetLastError(), folder);
        return 0;
    }
    // A program folder deleted by hand leaves its name free: a folder or a link that
    // another user puts there is none of the installation's, and nothing in it goes,
    // neither now nor at the restart. Every level is checked before any deletion.
    bool folderOurs = folderTreeTrusted(folder) != 0;
    if (!folderOurs)
        traceCause("the program folder is another user's: its files count as removed", folder);
    // Nothing in another user's folder is deleted, so nothing there can make the removal
    // wait for the restart; nor is anything there opened.
    if (!*restartNeeded && folderOurs && filesInUse(places, folder, false))
        *restartNeeded = 1;
    // Replacements that an earlier installation left for the restart would bring the
    // files back there; its deletions are this run's to schedule or to do now.
    if (!withdrawPendingOperations(installed.paths, installed.count))
        return 0;

    // Only files go: a folder under one of the names is somebody else's. A file not
    // found, deleted by hand or by a removal cut off earlier, counts as removed;
    // anything else that keeps a file from being looked at fails the phase.
    PathList present;
    clearList(present);
    for (size_t i = 0; i < installed.count; ++i) {
        if (i > 0 && !folderOurs)
            continue;
        DWORD attributes = GetFileAttributesA(installed.paths[i]);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                continue;
            traceCall("GetFileAttributesA", error, installed.paths[i]);
            return 0;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            traceCause("a folder, not the installed file: left as it is", installed.paths[i]);
            continue;
        }
        if (i > 0 || *restartNeeded)
            addPath(present, installed.paths[i], "", "");
    }

    if (*restartNeeded)
        return scheduleDeletions(present.paths, present.count);
    // The uninstaller is this very program: it can only go at the next restart.
    if (present.count > 0) {
        // The application took a file after the check: what is left of its files goes at
        // the restart, as when it runs. Left for another cause, the deletion fails.
        int result = runFileOperation(owner, FO_DELETE, present.text, nullptr, kDeleteFlags);
        size_t leftIndex[kFileCount];
        size_t leftCount = 0;
        if (!judgeFilesLeft(places, present, present, result, leftIndex, &leftCount))
            return 0;
        const char* left[kFileCount];
        for (size_t j = 0; j < leftCount; ++j)
            left[j] = present.paths[leftIndex[j]];
        if (leftCount > 0) {
            traceCause("the deletion stopped part way: the files left are deleted at the next restart", folder);
            *restartNeeded = 1;
            if (!scheduleDeletions(left, leftCount))
                return 0;
        }
    }
    return scheduleDeletions(&uninstaller, 1);
}

}  // namespace

int deployFiles(HWND owner, const char* folder, int* restartNeeded, uint32_t runFlags)
{
    Places places;
    // Without a folder the names would land in the root of the current drive.
    if (!folder || !folder[0] || !findPlaces(places))
        return 0;
    // A file in use is an application that runs where the run cannot see it (another
    // session, an older version without its window on this desktop, any program that
    // holds a file): handled as a running one, before anything in place changes. A
    // removal looks once it knows that the folder is its own.
    if (runFlags & kRunInstall) {
        if (!*restartNeeded && filesInUse(places, folder, true))
            *restartNeeded = 1;
        return installFiles(places, owner, folder, restartNeeded);
    }
    return removeFiles(places, owner, folder, restartNeeded);
}

namespace {

// Whether `path` names a folder directly in the root of a drive: "C:\name", also with a
// backslash after the name.
bool isAtDriveRoot(const char* path)
{
    char folder[kPathChars];
    if (!copyText(folder, sizeof folder, path))
        return false;
    if (endsWithSeparator(folder))
        folder[strlen(folder) - 1] = '\0';
    return pathRootLength(folder) == 2 && parentLength(folder) == 2 && folder[3] != '\0';
}

// A folder made now, or one already there; a file of that name is not a folder.
int folderMade(const char* path)
{
    int made = isAtDriveRoot(path) ? createProtectedFolder(path, 1)
                                   : platform.CreateDirectoryA(path, nullptr);
    if (made)
        return 1;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

namespace {

int makeFolderTree(const char* path)
{
    if (folderMade(path))
        return 1;
    char parent[kPathChars];
    if (!copyText(parent, sizeof parent, path))
        return 0;
    size_t cut = parentLength(parent);
    if (cut == 0)
        return 0;
    parent[cut] = '\0';
    if (!makeFolderTree(parent))
        return 0;
    return folderMade(path);
}

}  // namespace

int createFolderTree(const char* path)
{
    // Each level is checked again now that it is there, made by this run or found: one
    // that another user made, or a link that another user made, meanwhile (the options
    // step may lie long before) is refused, with its own cause in the trace.
    if (!makeFolderTree(path)) {
        traceCall("CreateDirectoryA", GetLastError(), path);
        return 0;
    }
    return folderTreeTrusted(path);
}
