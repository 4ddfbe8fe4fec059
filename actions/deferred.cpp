#include "actions/deferred.h"

#include <windows.h>

#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace {

const char kRenameSection[] = "rename";
const char kWininit[] = "WININIT.INI";  // no folder: the one in the Windows folder
const size_t kLineChars = 4 + kPathChars + 1;  // "NUL=", a path, its terminator

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

}  // namespace

int scheduleDeletion(const char* path)
{
    if (platform.MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return 1;
    traceCall("MoveFileExA (deletion at restart)", GetLastError(), path);
    return 0;
}

int scheduleReplacement(const char* staged, const char* installed)
{
    // The old file may be locked until the restart; its deletion is only a precaution.
    scheduleDeletion(installed);
    if (platform.MoveFileExA(staged, installed, MOVEFILE_DELAY_UNTIL_REBOOT))
        return 1;
    traceCall("MoveFileExA (replacement at restart)", GetLastError(), installed);
    return 0;
}

int addRenameDeletions(const char* const* paths, size_t count)
{
    // Every deletion line has the key NUL, so the profile functions can only add them by
    // writing the whole section: read it, append, write it back with the lines of others.
    size_t extra = count * kLineChars + 1;
    UniqueLocal block;
    char* section = nullptr;
    DWORD used = 0;
    for (DWORD capacity = 4096;; capacity *= 2) {
        if (capacity > (1u << 24))
            return 0;  // never write back a section that could not be read whole
        block.reset(LocalAlloc(LMEM_FIXED, capacity + extra));
        section = static_cast<char*>(block.get());
        if (!section)
            return 0;
        used = GetPrivateProfileSectionA(kRenameSection, section, capacity, kWininit);
        if (used + 2 < capacity)
            break;
    }
    DWORD existing = used;
    for (size_t i = 0; i < count; ++i) {
        char path[kPathChars];
        if (!shortPath(paths[i], path))
            continue;  // nothing to delete: no line with an empty path
        if (!formatText(section + used, kLineChars, "NUL=%s", path))
            return 0;
        used += DWORD(boundedLength(section + used, kLineChars) + 1);
    }
    if (used == existing)
        return 1;
    section[used] = '\0';
    if (WritePrivateProfileSectionA(kRenameSection, section, kWininit))
        return 1;
    traceCall("WritePrivateProfileSectionA", GetLastError(), kWininit);
    return 0;
}

int addRenameReplacement(const char* staged, const char* installed)
{
    char shortInstalled[kPathChars];
    char shortStaged[kPathChars];
    if (!shortPath(installed, shortInstalled))
        return MoveFileA(staged, installed) != 0;
    return shortPath(staged, shortStaged) &&
           WritePrivateProfileStringA(kRenameSection, shortInstalled, shortStaged,
                                      kWininit) != 0;
}
