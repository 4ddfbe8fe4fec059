#include "actions/deferred.h"

#include <windows.h>
#include <string.h>

#include "platform/guards.h"
#include "platform/narrow_paths.h"
#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace {

const char kRenameSection[] = "rename";
const char kWininit[] = "WININIT.INI";  // no folder: the one in the Windows folder
const size_t kLineChars = 4 + kPathChars + 1;  // "NUL=", a path, its terminator
const size_t kWithdrawMax = 16;  // files that one call takes back operations for

// The 8.3 form of an existing path; empty when the file does not exist.
int shortPath(const char* path, char* out)
{
    ZeroMemory(out, kPathChars);
    DWORD length = GetShortPathNameA(path, out, kPathChars);
    if (length >= kPathChars) {
        out[0] = '\0';
        return 0;
    }
    return length != 0;
}

// The "rename" section of WININIT.INI as the profile functions give it: lines one
// after another, each ended by a null, with room for `extra` more characters.
struct RenameSection {
    UniqueLocal block;
    char* text = nullptr;
    DWORD used = 0;

    int read(size_t extra)
    {
        for (DWORD capacity = 4096;; capacity *= 2) {
            if (capacity > (1u << 24))
                return 0;  // never write back a section that could not be read whole
            block.reset(LocalAlloc(LMEM_FIXED, capacity + extra));
            text = static_cast<char*>(block.get());
            if (!text)
                return 0;
            used = GetPrivateProfileSectionA(kRenameSection, text, capacity, kWininit);
            if (used + 2 < capacity)
                return 1;
        }
    }
    // Every deletion line has the key NUL, so the profile functions can only add or
    // take back such lines by writing the whole section, with the lines of others.
    int write()
    {
        text[used] = '\0';
        text[used + 1] = '\0';
        return TRACED(WritePrivateProfileSectionA, (kRenameSection, text, kWininit), kWininit) != 0;
    }
};

// The spelling by which a line of the "rename" section names `path`, also when the
// file (or its folder) is gone since the line was written: the short form of the
// longest leading part of `path` that exists, then the rest as written. A name that
// fits 8.3 is its own short form; the alias of a long name that is gone cannot be
// known. Empty when the result would not fit.
void renameSpelling(const char* path, char* out)
{
    char head[kPathChars];
    if (!copyText(head, sizeof head, path)) {
        out[0] = '\0';
        return;
    }
    // The root ("C:\", "\\server\share\") ends the walk: "C:" alone would name the
    // drive's current folder.
    char* root = head[pathRootLength(head)] ? head + pathRootLength(head) : nullptr;
    for (char* end = head + strlen(head);;) {
        if (shortPath(head, out)) {
            // A root's short form keeps its backslash, which the rest starts with.
            const char* rest = path + (end - head);
            if (endsWithSeparator(out) && *rest && nextSeparator(rest) == rest)
                ++rest;
            if (!appendText(out, kPathChars, rest))
                out[0] = '\0';
            return;
        }
        char* cut = lastSeparator(head);
        if (cut == nullptr || root == nullptr || cut < root || end == root + 1) {
            copyText(out, kPathChars, path);  // nothing of it exists: as written
            return;
        }
        end = cut == root ? cut + 1 : cut;
        *end = '\0';
    }
}

// Windows 9x: drops the lines that delete (NUL=path) or replace (path=staged) one of
// `paths`. The lines hold short forms; a line naming a file that is gone since (the
// program folder deleted by hand) is found by the short form of what is left of its
// path, and by the path as written.
int withdrawRenameLines(const char* const* paths, size_t count)
{
    RenameSection rename;
    if (!rename.read(2))
        return 0;
    char spellings[kWithdrawMax][2][kPathChars];
    for (size_t i = 0; i < count; ++i) {
        renameSpelling(paths[i], spellings[i][0]);
        copyText(spellings[i][1], kPathChars, paths[i]);
    }
    DWORD kept = 0;
    bool dropped = false;
    for (DWORD at = 0; at < rename.used && rename.text[at];) {
        char* line = rename.text + at;
        size_t length = boundedLength(line, rename.used - at);
        at += DWORD(length + 1);
        char* equals = strchr(line, '=');
        bool drop = false;
        for (size_t i = 0; equals && i < count && !drop; ++i) {
            *equals = '\0';
            const char* named = lstrcmpiA(line, "NUL") == 0 ? equals + 1 : line;
            for (const char* spelling : spellings[i])
                drop |= spelling[0] && lstrcmpiA(named, spelling) == 0;
            *equals = '=';
        }
        if (drop) {
            dropped = true;
            continue;
        }
        MoveMemory(rename.text + kept, line, length + 1);
        kept += DWORD(length + 1);
    }
    if (!dropped)
        return 1;
    rename.used = kept;
    return rename.write();
}

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingOperations[] = L"PendingFileRenameOperations";

// The system's list of pending operations, read whole; empty when there is none.
struct PendingList {
    UniqueKey key;
    UniqueLocal block;
    wchar_t* list = nullptr;
    DWORD length = 0;  // in characters

    int read(REGSAM access)
    {
        const WideFunctions* wide = wideFunctions();
        if (!wide)
            return 0;
        if (TRACED_STATUS(wide->RegOpenKeyExW, (HKEY_LOCAL_MACHINE, kSessionManager, 0, access, key.put()),
                          nullptr) != ERROR_SUCCESS)
            return 0;
        DWORD size = 0;
        LONG status = wide->RegQueryValueExW(key.get(), kPendingOperations, nullptr, nullptr, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            length = 0;  // nothing pending
            return 1;
        }
        if (status == ERROR_SUCCESS) {
            block.reset(TRACED(LocalAlloc, (LMEM_ZEROINIT, size + 2 * sizeof(wchar_t)), nullptr));
            list = static_cast<wchar_t*>(block.get());
            if (!list)
                return 0;
            status = wide->RegQueryValueExW(key.get(), kPendingOperations, nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(list), &size);
            length = size / sizeof(wchar_t);
        }
        if (status != ERROR_SUCCESS)
            traceCall("RegQueryValueExW", DWORD(status), "PendingFileRenameOperations");
        return status == ERROR_SUCCESS;
    }
};

// A path of the pending list without its "!" (replace) and "\??\" prefixes.
const wchar_t* plainPath(const wchar_t* entry)
{
    if (*entry == L'!')
        ++entry;
    if (entry[0] == L'\\' && entry[1] == L'?' && entry[2] == L'?' && entry[3] == L'\\')
        entry += 4;
    return entry;
}

bool isOneOf(const wchar_t* entry, const wchar_t (*paths)[kPathChars], size_t count)
{
    const wchar_t* path = plainPath(entry);
    for (size_t i = 0; i < count; ++i) {
        if (paths[i][0] && sameWideText(path, paths[i], true))
            return true;
    }
    return false;
}

// The staged copy of a move that was taken back, when it lies in a staging folder of
// this program ("PkgMgrSetup-..."): it goes, and its folder with it once empty; then
// `removedFolder` names the folder.
void deleteStagedCopy(const wchar_t* entry, wchar_t* removedFolder)
{
    wchar_t path[kPathChars];
    const wchar_t* plain = plainPath(entry);
    size_t length = wideLength(plain);
    if (length >= kPathChars)
        return;
    CopyMemory(path, plain, (length + 1) * sizeof(wchar_t));
    wchar_t* name = nullptr;
    wchar_t* folderName = nullptr;
    for (wchar_t* p = path; *p; ++p) {
        if (*p == L'\\') {
            folderName = name;
            name = p;
        }
    }
    if (!name || !folderName || size_t(name - folderName - 1) != kStagingNameChars)
        return;
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c + (L'a' - L'A')) : c; };
    for (size_t i = 0; kStagingPrefix[i]; ++i) {
        if (lower(folderName[1 + i]) != lower(wchar_t(kStagingPrefix[i])))
            return;
    }
    DeleteFileW(path);
    *name = L'\0';
    if (RemoveDirectoryW(path))  // fails while anything else is in it
        CopyMemory(removedFolder, path, (wideLength(path) + 1) * sizeof(wchar_t));
}

// NT family: drops the pairs of the pending list that delete (no new name) or replace
// (a new name) one of `paths`.
int withdrawPendingPairs(const char* const* paths, size_t count)
{
    wchar_t widePaths[kWithdrawMax][kPathChars];
    for (size_t i = 0; i < count; ++i) {
        if (!MultiByteToWideChar(CP_ACP, 0, paths[i], -1, widePaths[i], kPathChars))
            widePaths[i][0] = L'\0';
    }
    PendingList pending;
    if (!pending.read(KEY_QUERY_VALUE | KEY_SET_VALUE))
        return 0;
    wchar_t* list = pending.list;
    DWORD length = pending.length;
    // Pairs one after another: the path, then its new name (empty for a deletion).
    DWORD kept = 0;
    bool dropped = false;
    // A staging folder emptied here: its own deletion, scheduled after its moves, goes too.
    wchar_t removedFolder[1][kPathChars] = {L""};
    for (DWORD at = 0; at < length && list[at];) {
        wchar_t* from = list + at;
        DWORD fromLength = DWORD(wideLength(from)) + 1;
        wchar_t* to = from + fromLength;
        DWORD toLength = at + fromLength < length ? DWORD(wideLength(to)) + 1 : 1;
        at += fromLength + toLength;
        bool deletion = to[0] == L'\0';
        if (isOneOf(deletion ? from : to, widePaths, count) || (deletion && isOneOf(from, removedFolder, 1))) {
            if (!deletion)
                deleteStagedCopy(from, removedFolder[0]);
            dropped = true;
            continue;
        }
        MoveMemory(list + kept, from, (fromLength + toLength) * sizeof(wchar_t));
        kept += fromLength + toLength;
    }
    if (!dropped)
        return 1;
    list[kept] = L'\0';
    const WideFunctions* wide = wideFunctions();
    if (kept == 0)
        return TRACED_STATUS(wide->RegDeleteValueW, (pending.key.get(), kPendingOperations),
                             "PendingFileRenameOperations") == ERROR_SUCCESS;
    return TRACED_STATUS(wide->RegSetValueExW, (pending.key.get(), kPendingOperations, 0, REG_MULTI_SZ,
                                              reinterpret_cast<const BYTE*>(list), (kept + 1) * sizeof(wchar_t)),
                         "PendingFileRenameOperations") == ERROR_SUCCESS;
}

}  // namespace

const char kStagingPrefix[] = "PkgMgrSetup-";

int scheduleDeletions(const char* const* paths, size_t count)
{
    if (isNtFamily()) {
        for (size_t i = 0; i < count; ++i) {
            if (!TRACED(platform.MoveFileExA, (paths[i], nullptr, MOVEFILE_DELAY_UNTIL_REBOOT), paths[i]))
                return 0;
        }
        return 1;
    }
    RenameSection rename;
    if (!rename.read(count * kLineChars + 1))
        return 0;
    DWORD existing = rename.used;
    for (size_t i = 0; i < count; ++i) {
        char path[kPathChars];
        if (!shortPath(paths[i], path))
            continue;  // nothing to delete: no line with an empty path
        if (!formatText(rename.text + rename.used, kLineChars, "NUL=%s", path))
            return 0;
        rename.used += DWORD(boundedLength(rename.text + rename.used, kLineChars) + 1);
    }
    return rename.used == existing || rename.write();
}

int scheduleReplacement(const char* staged, const char* installed)
{
    if (!isNtFamily()) {
        char shortInstalled[kPathChars];
        char shortStaged[kPathChars];
        if (!shortPath(installed, shortInstalled))
            return TRACED(MoveFileA, (staged, installed), installed) != 0;
        if (!shortPath(staged, shortStaged)) {
            traceCause("the staged copy has no short name", staged);
            return 0;
        }
        return TRACED(WritePrivateProfileStringA, (kRenameSection, shortInstalled, shortStaged, kWininit),
                      installed) != 0;
    }
    // The old file may be locked until the restart; its deletion is only a precaution.
    scheduleDeletions(&installed, 1);
    if (TRACED(platform.MoveFileExA, (staged, installed, MOVEFILE_DELAY_UNTIL_REBOOT), installed))
        return 1;
    // Without the move the restart would delete the file and put nothing in its place.
    withdrawPendingOperations(&installed, 1);
    return 0;
}

int withdrawPendingOperations(const char* const* paths, size_t count)
{
    if (count > kWithdrawMax) {
        traceCause("too many files to take back the restart's operations for", paths[0]);
        return 0;
    }
    return isNtFamily() ? withdrawPendingPairs(paths, count) : withdrawRenameLines(paths, count);
}

int pendingOperationsWithin(const char* folder)
{
    wchar_t wide[kPathChars];
    PendingList pending;
    if (!MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, kPathChars) || !pending.read(KEY_QUERY_VALUE))
        return 1;
    int folderLength = int(wideLength(wide));
    const WideFunctions* functions = wideFunctions();
    for (DWORD at = 0; at < pending.length;) {
        const wchar_t* entry = pending.list + at;
        at += DWORD(wideLength(entry)) + 1;  // the empty new names of deletions included
        const wchar_t* path = plainPath(entry);
        if (int(wideLength(path)) >= folderLength &&
            functions->CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, folderLength, wide,
                                      folderLength) == CSTR_EQUAL &&
            (path[folderLength] == L'\0' || path[folderLength] == L'\\'))
            return 1;
    }
    return 0;
}
