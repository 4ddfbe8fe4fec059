#include "setup/run_log.h"

#include <windows.h>

#include "platform/narrow_paths.h"
#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/trusted_names.h"
#include "resources/resource.h"
#include "setup/checks.h"
#include "setup/command_line.h"
#include "setup/context.h"
#include "setup/exit_code.h"
#include "setupdata/names.h"
#include "setupdata/run_flags.h"

#ifndef PKGMGR_SETUP_VERSION
#define PKGMGR_SETUP_VERSION "unknown"
#endif

const char kRunLogName[] = "PkgMgrSetup.log";
const char kOldRunLogName[] = "PkgMgrSetup.old.log";

namespace {

// Runs that log at the same time (two deployments started together) take turns per
// line, so that no line lands over another's. Anyone may hold the mutex: a run waits
// at most kTurnWaitMs for one turn and kWaitBudgetMs for all of them, then writes
// without waiting.
const char kLogMutexName[] = "PkgMgrSetupLog";
const DWORD kTurnWaitMs = 2000;
const DWORD kWaitBudgetMs = 4000;

// The one log of this process, open between openRunLog and closeRunLog.
struct RunLog {
    HANDLE file;
    HANDLE mutex;
    size_t written;  // bytes this run wrote
    int cutOff;      // the run's share is used up: only the last line follows
    DWORD waitLeft;  // what the run may still wait for turns, in milliseconds
};
RunLog runLog = {INVALID_HANDLE_VALUE, nullptr, 0, 0, 0};

// Waits for the log's mutex within what the run may still wait; true when it is held.
bool takeTurn()
{
    if (!runLog.mutex)
        return false;
    DWORD started = GetTickCount();
    DWORD wait = WaitForSingleObject(runLog.mutex, runLog.waitLeft < kTurnWaitMs ? runLog.waitLeft : kTurnWaitMs);
    DWORD waited = GetTickCount() - started;
    runLog.waitLeft = waited < runLog.waitLeft ? runLog.waitLeft - waited : 0;
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

// Appends `text` at the end of the file, whoever else appends to it (Windows 9x, whose
// handle is no append-only one, by moving to the end first).
void appendToFile(const char* text, size_t length)
{
    bool turn = takeTurn();
    SetFilePointer(runLog.file, 0, nullptr, FILE_END);
    DWORD done = 0;
    WriteFile(runLog.file, text, DWORD(length), &done, nullptr);
    if (turn)
        ReleaseMutex(runLog.mutex);
}

// `text` with each control character (a line break in the setup data, say, which
// could forge a line of the log) written as \xHH. Returns 0 when it had to be cut to
// fit `out`.
int escapeControls(const char* text, char* out, size_t capacity)
{
    size_t at = 0;
    const char* p = text;
    for (; *p && at + 5 < capacity; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            static const char kDigits[] = "0123456789ABCDEF";
            out[at++] = '\\';
            out[at++] = 'x';
            out[at++] = kDigits[c >> 4];
            out[at++] = kDigits[c & 15];
        } else {
            out[at++] = *p;
        }
    }
    out[at] = '\0';
    return *p == '\0';
}

// One line with the local time in front. `last` is the result line, which is written
// even when the run's share of the log is used up.
void writeLine(const char* text, bool last = false)
{
    if (runLog.file == INVALID_HANDLE_VALUE || (runLog.cutOff && !last))
        return;
    DWORD kept = GetLastError();
    SYSTEMTIME now;
    GetLocalTime(&now);
    char escaped[3 * kPathChars];
    escapeControls(text, escaped, sizeof escaped);  // a cut line still goes out, as one cut below
    char line[3 * kPathChars];
    formatText(line, sizeof line - 2, "%02u:%02u:%02u.%03u %s", unsigned(now.wHour), unsigned(now.wMinute),
               unsigned(now.wSecond), unsigned(now.wMilliseconds), escaped);
    appendText(line, sizeof line, "\r\n");
    size_t length = boundedLength(line, sizeof line);
    if (!last && runLog.written + length > kRunLogRunBytes) {
        runLog.cutOff = 1;
        copyText(line, sizeof line, "(the rest of this run's lines is left out: the log stays small)\r\n");
        length = boundedLength(line, sizeof line);
    }
    appendToFile(line, length);
    runLog.written += length;
    SetLastError(kept);
}

void copyTraceLine(const char* line)
{
    writeLine(line);
}

// The log's path in the temporary folder (for the system account, the Windows one),
// named in a form that reaches it also when its name lies outside the code page.
int logPath(const char* name, char* out)
{
    char folder[kPathChars];
    return tempFolderPath(folder) && formatText(out, kPathChars, "%s%s", folder, name);
}

// Opens the log `path` for appending without acting through a link: a new log is made
// with an access list that lets no other user write it (or read what the run writes);
// an existing one is taken only when it is no link, has no other name (a hard link to
// another file) and belongs to the administrators, the system or the running user.
// Anything else is left as it is and the run goes without its log. On the NT family
// the handle only appends (each write lands whole at the end, whoever else writes),
// and others may rename the log while it is open (a run that sets it aside).
HANDLE openLogFile(const char* path)
{
    const bool nt = isNtFamily();
    const DWORD access = nt ? FILE_APPEND_DATA : GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (nt ? FILE_SHARE_DELETE : 0);
    HANDLE file = createPrivateFile(path, access, share);
    if (file != INVALID_HANDLE_VALUE || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
        return file;
    const char* refusal = nullptr;
    file = openTrustedName(path, access, share, FILE_ATTRIBUTE_NORMAL, &refusal);
    if (file == INVALID_HANDLE_VALUE)
        traceCause(refusal, path);  // only the debugger output hears it: there is no log
    return file;
}

// Why the path of `/L=path` is not used, or null.
const char* const kNoFilePath = "the log path of /L= is no full path of a file, or too long";
const char* const kRefusedFolder =
    "the log path of /L= lies on a network share, or in a folder that another user owns or links elsewhere";
const char* const kRefusedFile = "the log file of /L= cannot be made or opened, or is refused";

// Whether the folder of the log `path` may hold the log: on a local drive (a share's
// owners are the server's, and the system account is the computer's account there),
// and it and every folder above it trusted as the program folder is. A folder reached
// through an administrator's link is trusted as what the link leads to, and `path` then
// names the log there: the new log's own check finds no link on the way.
bool logFolderTrusted(char* path)
{
    char folder[kPathChars];
    char root[4] = {path[0], ':', '\\', '\0'};
    if (path[0] == '\\' || GetDriveTypeA(root) == DRIVE_REMOTE || !copyText(folder, sizeof folder, path))
        return false;
    size_t cut = parentLength(folder);
    if (cut > 0)
        folder[cut] = '\0';  // "C:" for a log in a drive's root: no level to check
    if (!folderTreeTrusted(folder))
        return false;
    char reached[kPathChars];
    char name[kPathChars];
    if (cut <= 2 || !reachedPath(folder, reached))
        return true;
    return copyText(name, sizeof name, path + cut) && formatText(path, kPathChars, "%s%s", reached, name);
}

// The log's path and the previous log's: the path of `/L=path`, in its one spelling,
// beside it the same name with ".old" before ".log" (or after a name without it); the
// fixed names in the temporary folder for `/L` alone, and for a path that is no full
// path of a file or lies in a folder that is refused (then `*refused` says why).
// 2 for the path of `/L=path`, 1 for the temporary folder's.
int logPaths(const char* commandLine, char* path, char* oldPath, const char** refused)
{
    char given[kPathChars];
    *refused = nullptr;
    if (readLogPathOption(commandLine, given, sizeof given)) {
        size_t length = 0;
        *refused = kNoFilePath;
        if (canonicalFolderPath(given, path, kPathChars) && (length = boundedLength(path, kPathChars)) > 3 &&
            !endsWithSeparator(path)) {
            *refused = kRefusedFolder;
            if (logFolderTrusted(path)) {
                *refused = kNoFilePath;
                length = boundedLength(path, kPathChars);
                bool dotLog = length > 4 && lstrcmpiA(path + length - 4, ".log") == 0;
                copyText(oldPath, kPathChars, path);
                if (dotLog)
                    oldPath[length - 4] = '\0';
                if (appendText(oldPath, kPathChars, ".old") && appendText(oldPath, kPathChars, dotLog ? ".log" : "")) {
                    *refused = nullptr;
                    return 2;
                }
            }
        }
    }
    return logPath(kRunLogName, path) && logPath(kOldRunLogName, oldPath);
}

// Opens the log; one that has grown past its bound becomes the previous log first, in
// one rename that replaces the previous log's name. Runs take the log's mutex for this,
// so that of two runs that find the log grown only the first sets it aside, and the
// size is read again once the turn is there. A log that stays too long (another run
// holds it open without letting it be renamed, or a folder has the previous log's
// name) is not written to at all.
HANDLE openBoundedLog(const char* commandLine, const char** refusedPath)
{
    char path[kPathChars];
    char oldPath[kPathChars];
    int paths = logPaths(commandLine, path, oldPath, refusedPath);
    if (!paths)
        return INVALID_HANDLE_VALUE;
    bool turn = takeTurn();
    HANDLE file = openLogFile(path);
    // A given log refused after its folder's check: the temporary folder's says why.
    if (file == INVALID_HANDLE_VALUE && paths == 2 && logPath(kRunLogName, path) && logPath(kOldRunLogName, oldPath)) {
        *refusedPath = kRefusedFile;
        file = openLogFile(path);
    }
    DWORD high = 0;
    DWORD size = file != INVALID_HANDLE_VALUE ? GetFileSize(file, &high) : 0;
    if (file != INVALID_HANDLE_VALUE && (high != 0 || size == INVALID_FILE_SIZE || size >= kRunLogTurnBytes)) {
        CloseHandle(file);
        moveFileName(path, oldPath);
        file = openLogFile(path);
        size = file != INVALID_HANDLE_VALUE ? GetFileSize(file, &high) : 0;
        if (file != INVALID_HANDLE_VALUE && (high != 0 || size == INVALID_FILE_SIZE || size >= 2 * kRunLogTurnBytes)) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    if (turn)
        ReleaseMutex(runLog.mutex);
    return file;
}

void writeHeader(const SetupContext& run, const char* commandLine)
{
    char text[3 * kPathChars];
    SYSTEMTIME now;
    GetLocalTime(&now);
    formatText(text, sizeof text, "==== PkgMgr setup log, %04u-%02u-%02u %02u:%02u:%02u local time ====",
               unsigned(now.wYear), unsigned(now.wMonth), unsigned(now.wDay), unsigned(now.wHour),
               unsigned(now.wMinute), unsigned(now.wSecond));
    writeLine(text);

    char program[kPathChars] = "";
    DWORD length = platform.GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        copyText(program, sizeof program, "(unknown)");
    formatText(text, sizeof text, "setup.exe version %s: %s", PKGMGR_SETUP_VERSION, program);
    writeLine(text);
    formatText(text, sizeof text, "command line: %s", commandLine ? commandLine : "");
    writeLine(text);

    const OSVERSIONINFOA& v = run.versionInfo;
    bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
    formatText(text, sizeof text, "Windows %u.%u build %u%s%s (%s), system language %04X, user language %04X",
               unsigned(v.dwMajorVersion), unsigned(v.dwMinorVersion),
               unsigned(nt ? v.dwBuildNumber : v.dwBuildNumber & 0xFFFF), v.szCSDVersion[0] ? " " : "",
               v.szCSDVersion, nt ? "NT family" : "Windows 9x", unsigned(GetSystemDefaultLangID()),
               unsigned(GetUserDefaultLangID()));
    writeLine(text);
    // On the NT family an enabled Administrators group is what elevation gives.
    writeLine(!nt ? "elevated: not applicable (Windows 9x)"
                  : isAdministrator() ? "elevated: yes (administrator)" : "elevated: no");
    writeLine((run.runFlags & kRunInstall) ? "run: installation" : "run: removal");
}

}  // namespace

void openRunLog(const SetupContext& run, const char* commandLine)
{
    if (runLog.file != INVALID_HANDLE_VALUE)
        return;
    DWORD kept = GetLastError();
    runLog.mutex = CreateMutexA(nullptr, FALSE, kLogMutexName);
    runLog.written = 0;
    runLog.cutOff = 0;
    runLog.waitLeft = kWaitBudgetMs;
    const char* refusedPath = nullptr;
    runLog.file = openBoundedLog(commandLine, &refusedPath);
    if (runLog.file == INVALID_HANDLE_VALUE) {
        if (runLog.mutex)
            CloseHandle(runLog.mutex);
        runLog.mutex = nullptr;
        SetLastError(kept);
        return;
    }
    writeHeader(run, commandLine);
    if (refusedPath) {
        char line[kPathChars];
        formatText(line, sizeof line, "%s: this log is written instead", refusedPath);
        writeLine(line);
    }
    traceCopy = copyTraceLine;
    SetLastError(kept);
}

void closeRunLog(const SetupContext& run, const char* notRunCause)
{
    if (runLog.file == INVALID_HANDLE_VALUE)
        return;
    DWORD kept = GetLastError();
    traceCopy = nullptr;
    char text[3 * kPathChars];
    if (notRunCause)
        formatText(text, sizeof text, "result: none, exit code 0: not run (%s); \"Setup\" unchanged", notRunCause);
    else
        formatText(text, sizeof text, "result: %04X, exit code %d: %s", unsigned(run.resultCode),
                   runExitCode(run), resultMeaning(run));
    writeLine(text, true);
    CloseHandle(runLog.file);
    runLog.file = INVALID_HANDLE_VALUE;
    if (runLog.mutex)
        CloseHandle(runLog.mutex);
    runLog.mutex = nullptr;
    SetLastError(kept);
}
