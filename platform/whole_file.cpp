// Kept apart from system.cpp so that only the programs that read whole files link it.
#include "platform/whole_file.h"

#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include "platform/paths.h"
#include "platform/text.h"

namespace {

struct CachedFile {
    char path[kPathChars];
    WholeFile file;
    CachedFile* next;
};

CachedFile* cachedFiles;
char confinement[kPathChars];

// UTF-16 code units of `bytes` after the mark, in the order `bigEndian` says. A file
// cut after an odd byte ends in a unit of that byte alone, as Wine's reader reads it.
char* utf16Text(const char* bytes, uint64_t size, bool bigEndian, size_t* length)
{
    size_t count = size_t((size - 1) / 2);
    uint16_t* units = static_cast<uint16_t*>(malloc((count + 1) * sizeof(uint16_t)));
    if (units == nullptr)
        return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes) + 2;
    for (size_t i = 0; i < count; ++i, p += 2)
        units[i] = bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    if (size % 2)
        units[count - 1] = p[-2];
    char* text = unicodeToCodePage(units, count, length);
    free(units);
    return text;
}

}  // namespace

void confineWholeFiles(const char* folder)
{
    copyText(confinement, sizeof confinement, folder ? folder : "");
}

const WholeFile* wholeFile(const char* path)
{
    for (CachedFile* cached = cachedFiles; cached; cached = cached->next) {
        if (strcmp(cached->path, path) == 0)
            return &cached->file;
    }
    CachedFile* cached = static_cast<CachedFile*>(calloc(1, sizeof(CachedFile)));
    if (cached == nullptr)
        return nullptr;
    copyText(cached->path, sizeof cached->path, path);
    readRegularFile(path, confinement[0] ? confinement : nullptr, &cached->file);
    const char* bytes = cached->file.bytes;
    uint64_t size = cached->file.size;
    if (bytes && size >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE)
        cached->file.encoding = kProfileUtf16Le;
    else if (bytes && size >= 2 && (unsigned char)bytes[0] == 0xFE && (unsigned char)bytes[1] == 0xFF)
        cached->file.encoding = kProfileUtf16Be;
    else if (bytes && size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0)
        cached->file.encoding = kProfileUtf8Mark;
    cached->file.profileLength = size_t(size);
    if (cached->file.encoding == kProfileUtf16Le || cached->file.encoding == kProfileUtf16Be)
        cached->file.profileText = utf16Text(bytes, size, cached->file.encoding == kProfileUtf16Be,
                                             &cached->file.profileLength);
    cached->next = cachedFiles;
    cachedFiles = cached;
    return &cached->file;
}

const char* wholeFileRefusal(WholeFileStatus status)
{
    switch (status) {
    case kWholeFileRead:
        return "was read";
    case kWholeFileMissing:
        return "is not there";
    case kWholeFileOutside:
        return "is a link that leads out of the release folder";
    case kWholeFileNotRegular:
        return "is no regular file (a FIFO, device or folder)";
    case kWholeFileTooLarge:
        return "is larger than any setup data (more than 16 MB)";
    case kWholeFileUnreadable:
        break;
    }
    return "cannot be read";
}

const char* profileTextOf(const WholeFile* file)
{
    if (file == nullptr || file->bytes == nullptr)
        return "";
    if (file->encoding == kProfileAnsi || file->encoding == kProfileUtf8Mark)
        return file->bytes;
    return file->profileText ? file->profileText : "";
}

size_t profileLengthOf(const WholeFile* file)
{
    if (file == nullptr || file->bytes == nullptr)
        return 0;
    if (file->encoding == kProfileAnsi || file->encoding == kProfileUtf8Mark)
        return size_t(file->size);
    return file->profileText ? file->profileLength : 0;
}

#if defined(_WIN32)

namespace {

// `path` names a file directly in `folder`: the checker forms its paths as folder\name.
bool liesIn(const char* path, const char* folder)
{
    size_t length = strlen(folder);
    return strlen(path) > length + 1 && CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, int(length),
                                                       folder, int(length)) == CSTR_EQUAL &&
           parentLength(path) == length;
}

}  // namespace

// Where the system cannot tell where a link leads (NT 4.0 to XP have no call for it), a
// link or junction is not read at all.
void readRegularFile(const char* path, const char* folder, WholeFile* file)
{
    const DWORD kReparsePoint = 0x400;
    DWORD attributes = GetFileAttributesA(path);
    file->status = kWholeFileMissing;
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    file->status = kWholeFileOutside;
    if ((attributes & kReparsePoint) || (folder && !liesIn(path, folder)))
        return;
    file->status = kWholeFileNotRegular;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return;
    HANDLE opened = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    file->status = kWholeFileUnreadable;
    if (opened == INVALID_HANDLE_VALUE)
        return;
    DWORD high = 0;
    DWORD low = GetFileSize(opened, &high);
    file->size = uint64_t(high) << 32 | low;
    if (GetFileType(opened) != FILE_TYPE_DISK) {
        file->status = kWholeFileNotRegular;
    } else if (file->size > kWholeFileLimit) {
        file->status = kWholeFileTooLarge;
    } else if ((file->bytes = static_cast<char*>(calloc(1, size_t(file->size) + 2))) != nullptr) {
        DWORD read = 0;
        DWORD total = 0;
        while (total < file->size && ReadFile(opened, file->bytes + total, DWORD(file->size) - total, &read, nullptr) &&
               read > 0)
            total += read;
        file->size = total;  // a file that shrank meanwhile ends where its bytes end
        file->status = kWholeFileRead;
    }
    CloseHandle(opened);
}

int64_t sizeOfFile(const char* path)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = strpbrk(path, "*?") ? INVALID_HANDLE_VALUE : FindFirstFileA(path, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return -1;
    FindClose(find);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return -1;
    return int64_t(uint64_t(entry.nFileSizeHigh) << 32 | entry.nFileSizeLow);
}

bool folderListable(const char* folder)
{
    char pattern[kPathChars];
    WIN32_FIND_DATAA entry;
    if (!formatText(pattern, sizeof pattern, "%s\\*", folder))
        return false;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty folder (a drive's root)
    FindClose(find);
    return true;
}

char* unicodeToCodePage(const uint16_t* units, size_t count, size_t* length)
{
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(units);
    int bytes = count ? WideCharToMultiByte(CP_ACP, 0, wide, int(count), nullptr, 0, nullptr, nullptr) : 0;
    char* text = static_cast<char*>(calloc(1, size_t(bytes) + 1));
    if (text && bytes)
        WideCharToMultiByte(CP_ACP, 0, wide, int(count), text, bytes, nullptr, nullptr);
    *length = text ? size_t(bytes) : 0;
    return text;
}

#endif
