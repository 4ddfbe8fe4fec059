#include "platform/paths.h"

#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>

bool isLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != 0;
}
#else
namespace {

// The lead-byte ranges of the double-byte code pages, as Windows reports them.
struct LeadBytes {
    unsigned codePage;
    unsigned char ranges[4];  // pairs of first and last lead byte; 0 ends
};
const LeadBytes kLeadBytes[] = {
    {1252, {0, 0, 0, 0}},
    {932, {0x81, 0x9F, 0xE0, 0xFC}},
    {936, {0x81, 0xFE, 0, 0}},
    {949, {0x81, 0xFE, 0, 0}},
    {950, {0x81, 0xFE, 0, 0}},
};
const LeadBytes* current = &kLeadBytes[0];

}  // namespace

int setPathCodePage(unsigned codePage)
{
    for (const LeadBytes& table : kLeadBytes) {
        if (table.codePage == codePage) {
            current = &table;
            return 1;
        }
    }
    return 0;
}

unsigned pathCodePage()
{
    return current->codePage;
}

bool isLeadByte(unsigned char c)
{
    for (size_t i = 0; i < 4 && current->ranges[i]; i += 2) {
        if (c >= current->ranges[i] && c <= current->ranges[i + 1])
            return true;
    }
    return false;
}
#endif

const char* nextPathChar(const char* p)
{
    return isLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0' ? p + 2 : p + 1;
}

size_t pathRootLength(const char* path)
{
    if (path[0] != '\0' && path[0] != '\\' && path[1] == ':')
        return 2;
    if (path[0] != '\\' || path[1] != '\\')
        return 0;
    // "\\server\share": up to the fourth backslash.
    const char* p = path + 2;
    for (int separators = 2; *p; p = nextPathChar(p)) {
        if (*p == '\\' && --separators == 0)
            break;
    }
    return size_t(p - path);
}

const char* lastSeparator(const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; *p; p = nextPathChar(p)) {
        if (*p == '\\')
            last = p;
    }
    return last;
}

char* lastSeparator(char* path)
{
    return const_cast<char*>(lastSeparator(static_cast<const char*>(path)));
}

size_t parentLength(const char* path)
{
    const char* last = lastSeparator(path);
    if (last == nullptr || (path[0] == '\\' && path[1] == '\\' && last - path < 2))
        return 0;
    return size_t(last - path);
}

const char* lastPathName(const char* path)
{
    const char* last = lastSeparator(path);
    return last ? last + 1 : path;
}

bool endsWithSeparator(const char* path)
{
    const char* last = lastSeparator(path);
    return last != nullptr && last[1] == '\0';
}

int endWithSeparator(char* path, size_t capacity)
{
    return endsWithSeparator(path) || appendText(path, capacity, "\\");
}

int appendPathName(char* path, size_t capacity, const char* name)
{
    return (path[0] == '\0' || endWithSeparator(path, capacity)) && appendText(path, capacity, name);
}
