#include "actions/installed_size.h"

#include <windows.h>

#include "actions/file_plan.h"
#include "platform/guards.h"

uint32_t installedKilobytes(const char* programFolder)
{
    Places places;
    PathList installed;
    if (!findPlaces(places) || !buildInstalledList(places, programFolder, installed))
        return 0;
    uint64_t bytes = 0;
    for (size_t i = 0; i < installed.count; ++i) {
        WIN32_FIND_DATAA found;
        HANDLE first = FindFirstFileA(installed.paths[i], &found);
        if (first == INVALID_HANDLE_VALUE)
            continue;  // not there (yet)
        UniqueFind find(first);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    }
    uint64_t kilobytes = (bytes + 1023) / 1024;
    return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(kilobytes);
}
