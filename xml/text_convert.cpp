#include "xml/text_convert.h"

#if defined(_WIN32)

#include <windows.h>

#include "xml/heap.h"

namespace {

typedef int(WINAPI* MultiByteToWideCharFunction)(UINT, DWORD, LPCSTR, int, LPWSTR, int);
typedef int(WINAPI* WideCharToMultiByteFunction)(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL);

// Found once per process; while either is missing, every conversion looks again.
MultiByteToWideCharFunction g_multiByteToWideChar;
WideCharToMultiByteFunction g_wideCharToMultiByte;

template <typename Function>
Function procedure(HMODULE module, const char* name)
{
    // Through a function type that matches every other, which keeps the
    // function-type-cast warning quiet.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Windows 9x has the two functions only through the Layer for Unicode, which
// the setup loads itself at start; here it is only looked up, never loaded.
bool loadConversionFunctions()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return false;
    HMODULE module =
        GetModuleHandleA(version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? "unicows.dll" : "kernel32.dll");
    if (!module)
        return false;
    g_multiByteToWideChar = procedure<MultiByteToWideCharFunction>(module, "MultiByteToWideChar");
    g_wideCharToMultiByte = procedure<WideCharToMultiByteFunction>(module, "WideCharToMultiByte");
    return g_multiByteToWideChar && g_wideCharToMultiByte;
}

}  // namespace

void forgetConversionFunctions()
{
    g_multiByteToWideChar = nullptr;
    g_wideCharToMultiByte = nullptr;
}

int convertUtf8ToAnsi(const char* text, char* output, size_t capacity)
{
    if (!g_multiByteToWideChar || !g_wideCharToMultiByte) {
        if (!loadConversionFunctions())
            return 0;
    }
    const int units = g_multiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return 0;
    WCHAR* wide = static_cast<WCHAR*>(xmlHeapAlloc(size_t(units) * sizeof(WCHAR)));
    if (!wide)
        return 0;
    int result = 0;
    if (g_multiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) != 0) {
        const int bytes = g_wideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (bytes > 0 && size_t(bytes) <= capacity)
            result = g_wideCharToMultiByte(CP_ACP, 0, wide, -1, output, bytes, nullptr, nullptr) != 0;
    }
    xmlHeapFree(wide);
    return result;
}

#else

#include <stdint.h>

namespace {

// Decodes one UTF-8 sequence at `text`; returns its length (a malformed
// sequence counts one byte) and sets *codePoint (0xFFFD when malformed).
size_t decodeUtf8(const unsigned char* text, uint32_t* codePoint)
{
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    size_t length;
    uint32_t value;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u, minimum = 0x10000;
    } else {
        *codePoint = 0xFFFD;
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {  // also stops at the terminator
            *codePoint = 0xFFFD;
            return 1;
        }
        value = (value << 6) | (text[i] & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        *codePoint = 0xFFFD;
        return 1;
    }
    *codePoint = value;
    return length;
}

}  // namespace

int convertUtf8ToAnsi(const char* text, char* output, size_t capacity)
{
    const unsigned char* source = reinterpret_cast<const unsigned char*>(text);
    size_t needed = 1;
    for (size_t i = 0; source[i] != 0; ++needed) {
        uint32_t codePoint;
        i += decodeUtf8(source + i, &codePoint);
    }
    if (needed > capacity)
        return 0;
    size_t out = 0;
    for (size_t i = 0; source[i] != 0;) {
        uint32_t codePoint;
        i += decodeUtf8(source + i, &codePoint);
        output[out++] = codePoint <= 0xFF ? char(codePoint) : '?';
    }
    output[out] = '\0';
    return 1;
}

void forgetConversionFunctions() {}  // nothing is looked up here

#endif
