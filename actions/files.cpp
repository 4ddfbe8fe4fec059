#include "actions/files.h"

#include <shellapi.h>
#include <string.h>

#include "actions/deferred.h"
#include "actions/file_plan.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "setupdata/run_flags.h"
#include "setupdata/setup_data.h"

namespace {


// No operation may wait on a dialog: a locked or unreadable file fails the phase
// instead of showing the shell's error box, which nobody answers in a silent run.
const FILEOP_FLAGS kCopyFlags = FOF_MULTIDESTFILES | FOF_SILENT | FOF_NOCONFIRMATION |
                                FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
const FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;

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
    return result == 0 && !request.fAnyOperationsAborted;
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
    return runFileOperation(owner, FO_DELETE, list, nullptr, kDeleteFlags);
}

// Removes a file of the program folder that must not stay: at once, or at the restart.
int removeStrayFile(const Places& places, HWND owner, const char* folder, const char* name,
                    int restartNeeded)
{
    char found[kPathChars];
    if (!fileInFolder(folder, name, found))
        return 1;  // the installed list was formed in the same folder, so the path fits
    if (!restartNeeded)
        return deletePath(owner, found);
    if (places.nt)
        return scheduleDeletion(found);
    const char* paths[1] = {found};
    return addRenameDeletions(paths, 1);
}

// The run's own folder for the staged copies, under the temporary folder. It goes with
// the copies when the run is done with them, unless they wait for the restart.
class StagingFolder {
public:
    explicit StagingFolder(const PathList& staged) : staged_(staged) {}
    ~StagingFolder()
    {
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
        DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
        for (DWORD attempt = 0; attempt < 100; ++attempt) {
            if (!formatText(path_, sizeof path_, "%sPkgMgrSetup-%08X", parent, unsigned(seed + attempt)))
                return 0;
            if (createPrivateFolder(path_)) {
                made_ = true;
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
    void keep() { kept_ = true; }

private:
    const PathList& staged_;
    char path_[kPathChars] = "";
    bool made_ = false;
    bool kept_ = false;
};

int installFiles(const Places& places, HWND owner, const char* folder, int restartNeeded)
{
    // Every path is formed before anything is copied, so that a folder too long for
    // the paths or the lists fails with nothing changed.
    char sourceFolder[kPathChars];
    char tempFolder[kPathChars];
    DWORD length = platform.GetModuleFileNameA(nullptr, sourceFolder, sizeof sourceFolder);
    if (length == 0 || length >= sizeof sourceFolder)
        return 0;
    char* lastSlash = nullptr;
    for (char* p = sourceFolder; *p; ++p) {
        if (*p == '\\')
            lastSlash = p;
    }
    if (!lastSlash)
        return 0;
    *lastSlash = '\0';
    length = GetTempPathA(sizeof tempFolder, tempFolder);
    if (length == 0 || length >= sizeof tempFolder)
        return 0;

    PathList sources;
    PathList staged;
    PathList installed;
    clearList(sources);
    clearList(staged);
    StagingFolder staging(staged);
    if (!staging.create(tempFolder))
        return 0;
    for (int i = 0; i < kFileCount; ++i) {
        if (!addPath(sources, sourceFolder, "\\", places.sources[i]) ||
            !addPath(staged, staging.path(), "\\", places.targets[i])) {
            traceCause("the setup or staging folder is too long for the file paths", sourceFolder);
            return 0;
        }
    }
    if (!formInstalledPaths(places, folder, installed)) {
        traceCause("the program folder is too long for the file paths", folder);
        return 0;
    }

    if (!runFileOperation(owner, FO_COPY, sources.text, staged.text, kCopyFlags)) {
        traceMissingPath(sources);
        return 0;
    }
    if (!createFolderTree(folder)) {
        traceCall("CreateDirectoryA", GetLastError(), folder);
        return 0;
    }
    if (places.nt) {
        for (size_t i = 0; i < staged.count; ++i)
            secureStagedFile(staged.paths[i]);
    }
    if (!removeStrayFile(places, owner, folder, places.otherSettingsName, restartNeeded))
        return 0;
    // No manifest is installed; one left in the folder would override the application's own.
    if (places.nt && !removeStrayFile(places, owner, folder, kManifestName, restartNeeded))
        return 0;

    if (!restartNeeded)
        return runFileOperation(owner, FO_MOVE, staged.text, installed.text, kCopyFlags);
    // The application runs: its files are replaced at the next restart. The staged
    // copies are the sources of those replacements and stay until then, also when a
    // later one cannot be scheduled.
    staging.keep();
    for (size_t i = 0; i < installed.count; ++i) {
        int scheduled = places.nt ? scheduleReplacement(staged.paths[i], installed.paths[i])
                                  : addRenameReplacement(staged.paths[i], installed.paths[i]);
        if (!scheduled)
            return 0;
    }
    // The emptied folder goes after them. WININIT.INI can delete files only: on
    // Windows 9x the empty folder stays in the temporary folder.
    if (places.nt)
        scheduleDeletion(staging.path());
    return 1;
}

int removeFiles(const Places& places, HWND owner, const char* folder, int restartNeeded)
{
    PathList installed;
    if (!buildInstalledList(places, folder, installed)) {
        traceCause("the program folder is too long for the file paths", folder);
        return 0;
    }
    const char* uninstaller = installed.paths[0];

    if (restartNeeded) {
        if (!places.nt)
            return addRenameDeletions(installed.paths, installed.count);
        for (size_t i = 0; i < installed.count; ++i) {
            if (!scheduleDeletion(installed.paths[i]))
                return 0;
        }
        return 1;
    }
    // The uninstaller is this very program: it can only go at the next restart. A file
    // already gone, by hand or by a removal cut off earlier, counts as removed.
    PathList present;
    clearList(present);
    for (size_t i = 1; i < installed.count; ++i) {
        if (GetFileAttributesA(installed.paths[i]) != INVALID_FILE_ATTRIBUTES)
            addPath(present, installed.paths[i], "", "");
    }
    if (present.count > 0 && !runFileOperation(owner, FO_DELETE, present.text, nullptr, kDeleteFlags)) {
        traceMissingPath(present);
        return 0;
    }
    if (places.nt)
        return scheduleDeletion(uninstaller);
    return addRenameDeletions(&uninstaller, 1);
}

}  // namespace

int deployFiles(HWND owner, const char* folder, int restartNeeded, uint32_t runFlags)
{
    Places places;
    // Without a folder the names would land in the root of the current drive.
    if (!folder || !folder[0] || !findPlaces(places))
        return 0;
    if (runFlags & kRunInstall)
        return installFiles(places, owner, folder, restartNeeded);
    return removeFiles(places, owner, folder, restartNeeded);
}

namespace {

// Whether `path` names a folder directly in the root of a drive: "C:\name", also with a
// backslash after the name.
bool isAtDriveRoot(const char* path)
{
    if (!path[0] || path[1] != ':' || path[2] != '\\' || !path[3] || path[3] == '\\')
        return false;
    const char* backslash = strchr(path + 3, '\\');
    return backslash == nullptr || backslash[1] == '\0';
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

int createFolderTree(const char* path)
{
    if (folderMade(path))
        return 1;
    char parent[kPathChars];
    if (!copyText(parent, sizeof parent, path))
        return 0;
    // The two leading backslashes of a network path never end a parent.
    size_t length = boundedLength(parent, sizeof parent);
    size_t cut = 0;
    for (size_t i = parent[0] == '\\' ? 2 : 0; i < length; ++i) {
        if (parent[i] == '\\')
            cut = i;
    }
    if (cut == 0)
        return 0;
    parent[cut] = '\0';
    if (!createFolderTree(parent))
        return 0;
    return folderMade(path);
}
