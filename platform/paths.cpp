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
unsigned codePage = 1252;
}

int setPathCodePage(unsigned page)
{
    if (page != 1252 && page != 932 && page != 936 && page != 949 && page != 950)
        return 0;
    codePage = page;
    return 1;
}

unsigned pathCodePage()
{
    return codePage;
}

// The lead-byte ranges that Windows reports for these code pages.
bool isLeadByte(unsigned char c)
{
    if (codePage == 932)
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return codePage != 1252 && c >= 0x81 && c <= 0xFE;
}
#endif

const char* nextSeparator(const char* p)
{
    while (*p && *p != '\\')
        p += isLeadByte(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
    return p;
}

size_t pathRootLength(const char* path)
{
    if (path[0] && path[0] != '\\' && path[1] == ':')
        return 2;
    if (path[0] != '\\' || path[1] != '\\')
        return 0;
    const char* share = nextSeparator(path + 2);
    return size_t(nextSeparator(*share ? share + 1 : share) - path);
}

const char* lastSeparator(const char* path)
{
    const char* last = nullptr;
    for (const char* p = nextSeparator(path); *p; p = nextSeparator(p + 1))
        last = p;
    return last;
}

size_t parentLength(const char* path)
{
    const char* last = lastSeparator(path);
    return last && (last - path >= 2 || path[0] != '\\') ? size_t(last - path) : 0;
}

const char* lastPathName(const char* path)
{
    const char* last = lastSeparator(path);
    return last ? last + 1 : path;
}

bool endsWithSeparator(const char* path)
{
    const char* last = lastSeparator(path);
    return last && last[1] == '\0';
}

int endWithSeparator(char* path, size_t capacity)
{
    return endsWithSeparator(path) || appendText(path, capacity, "\\");
}

int appendPathName(char* path, size_t capacity, const char* name)
{
    return endWithSeparator(path, capacity) && appendText(path, capacity, name);
}
