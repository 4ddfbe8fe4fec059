// Whole files of a release folder read on this system, for the stand-in machine's
// readers and the checker: see platform/whole_file.h for the rules.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/host_files.h"
#include "platform/whole_file.h"

namespace {

// Whether `local` (which exists) resolves, links followed, to a place inside `folder`.
bool resolvesInside(const char* local, const char* folder)
{
    char hostFolder[PATH_MAX];
    char resolvedFolder[PATH_MAX];
    char resolved[PATH_MAX];
    if (!hostPath(folder, hostFolder, sizeof hostFolder) || realpath(hostFolder, resolvedFolder) == nullptr ||
        realpath(local, resolved) == nullptr)
        return false;
    size_t length = strlen(resolvedFolder);
    if (length == 1)
        return true;  // the root holds everything
    return strncmp(resolved, resolvedFolder, length) == 0 && resolved[length] == '/';
}

// The code points 0x80 to 0x9F of code page 1252; 0 where it has no character.
const uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

void readRegularFile(const char* path, const char* folder, WholeFile* file)
{
    char local[PATH_MAX];
    struct stat status;
    file->status = kWholeFileMissing;
    if (!hostPath(path, local, sizeof local) || stat(local, &status) != 0)
        return;
    file->size = uint64_t(status.st_size);
    file->status = kWholeFileOutside;
    if (folder && !resolvesInside(local, folder))
        return;
    // Checked before the file is opened: opening a FIFO waits for a writer, a device
    // may act on being opened.
    file->status = kWholeFileNotRegular;
    if (!S_ISREG(status.st_mode))
        return;
    file->status = kWholeFileTooLarge;
    if (file->size > kWholeFileLimit)
        return;
    file->status = kWholeFileUnreadable;
    int opened = open(local, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (opened < 0)
        return;
    // What was opened may no longer be what was looked at.
    if (fstat(opened, &status) != 0 || !S_ISREG(status.st_mode) || uint64_t(status.st_size) > kWholeFileLimit) {
        file->status = kWholeFileNotRegular;
        close(opened);
        return;
    }
    size_t size = size_t(status.st_size);
    file->bytes = static_cast<char*>(calloc(1, size + 2));
    size_t total = 0;
    while (file->bytes && total < size) {
        ssize_t read = ::read(opened, file->bytes + total, size - total);
        if (read <= 0)
            break;
        total += size_t(read);
    }
    close(opened);
    if (file->bytes) {
        file->size = total;
        file->status = kWholeFileRead;
    }
}

int64_t sizeOfFile(const char* path)
{
    char local[PATH_MAX];
    struct stat status;
    if (!hostPath(path, local, sizeof local) || stat(local, &status) != 0 || S_ISDIR(status.st_mode))
        return -1;
    return int64_t(status.st_size);
}

bool folderListable(const char* folder)
{
    char local[PATH_MAX];
    DIR* listing = hostPath(folder, local, sizeof local) ? opendir(local) : nullptr;
    if (listing == nullptr)
        return false;
    closedir(listing);
    return true;
}

// The stand-in's code page is 1252: a character it lacks becomes "?", as the
// system's default character.
char* unicodeToCodePage(const uint16_t* units, size_t count)
{
    char* text = static_cast<char*>(calloc(1, count + 1));
    if (text == nullptr)
        return nullptr;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        uint16_t unit = units[i];
        char byte = '?';
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            byte = char(unit);
        } else {
            for (int high = 0; high < 32; ++high) {
                if (kWindows1252High[high] == unit)
                    byte = char(0x80 + high);
            }
        }
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            ++i;  // one character, one "?"
        text[length++] = byte;
    }
    return text;
}
