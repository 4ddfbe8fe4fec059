// The few C library functions that setup.exe uses, so that it imports no C runtime
// DLL: "msvcrt.dll" is none of the system's known DLLs on NT 4.0, and a copy dropped
// beside setup.exe would be loaded before any of the program's code runs. Memory comes
// from the process heap. Built freestanding, so that the compiler never turns these
// loops back into calls of themselves.
#include <windows.h>

#include <stddef.h>

extern "C" {

void* malloc(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void* calloc(size_t count, size_t size)
{
    if (size != 0 && count > size_t(-1) / size)
        return nullptr;
    size_t total = count * size;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total ? total : 1);
}

void free(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

void* realloc(void* block, size_t size)
{
    if (block == nullptr)
        return malloc(size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void* memcpy(void* to, const void* from, size_t count)
{
    auto* out = static_cast<unsigned char*>(to);
    auto* in = static_cast<const unsigned char*>(from);
    while (count--)
        *out++ = *in++;
    return to;
}

void* memmove(void* to, const void* from, size_t count)
{
    auto* out = static_cast<unsigned char*>(to);
    auto* in = static_cast<const unsigned char*>(from);
    if (out <= in || out >= in + count)
        return memcpy(to, from, count);
    while (count--)
        out[count] = in[count];
    return to;
}

void* memset(void* to, int value, size_t count)
{
    auto* out = static_cast<unsigned char*>(to);
    while (count--)
        *out++ = static_cast<unsigned char>(value);
    return to;
}

int memcmp(const void* left, const void* right, size_t count)
{
    auto* a = static_cast<const unsigned char*>(left);
    auto* b = static_cast<const unsigned char*>(right);
    for (; count; --count, ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* block, int value, size_t count)
{
    auto* p = static_cast<const unsigned char*>(block);
    for (; count; --count, ++p) {
        if (*p == static_cast<unsigned char>(value))
            return const_cast<unsigned char*>(p);
    }
    return nullptr;
}

size_t strlen(const char* text)
{
    const char* end = text;
    while (*end)
        ++end;
    return size_t(end - text);
}

char* strchr(const char* text, int c)
{
    for (;; ++text) {
        if (*text == static_cast<char>(c))
            return const_cast<char*>(text);
        if (*text == '\0')
            return nullptr;
    }
}

char* strrchr(const char* text, int c)
{
    const char* found = nullptr;
    for (;; ++text) {
        if (*text == static_cast<char>(c))
            found = text;
        if (*text == '\0')
            return const_cast<char*>(found);
    }
}

int strncmp(const char* left, const char* right, size_t count)
{
    for (; count; --count, ++left, ++right) {
        auto a = static_cast<unsigned char>(*left);
        auto b = static_cast<unsigned char>(*right);
        if (a != b)
            return a < b ? -1 : 1;
        if (a == '\0')
            return 0;
    }
    return 0;
}

int strcmp(const char* left, const char* right)
{
    return strncmp(left, right, size_t(-1));
}

size_t wcslen(const wchar_t* text)
{
    const wchar_t* end = text;
    while (*end)
        ++end;
    return size_t(end - text);
}

int wcscmp(const wchar_t* left, const wchar_t* right)
{
    for (;; ++left, ++right) {
        if (*left != *right)
            return *left < *right ? -1 : 1;
        if (*left == L'\0')
            return 0;
    }
}

wchar_t* wcsrchr(const wchar_t* text, wchar_t c)
{
    const wchar_t* found = nullptr;
    for (;; ++text) {
        if (*text == c)
            found = text;
        if (*text == L'\0')
            return const_cast<wchar_t*>(found);
    }
}

}  // extern "C"
