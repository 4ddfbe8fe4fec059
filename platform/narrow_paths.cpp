#include "platform/narrow_paths.h"

#include "platform/paths.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"

const WideFunctions* wideFunctions()
{
    static WideFunctions functions;
    static int state;  // 0 not looked up yet, 1 there, -1 missing
    if (state == 0) {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        WideFunctions& f = functions;
        f.GetModuleFileNameW = procedureOf<decltype(f.GetModuleFileNameW)>(kernel, "GetModuleFileNameW");
        f.GetTempPathW = procedureOf<decltype(f.GetTempPathW)>(kernel, "GetTempPathW");
        f.GetShortPathNameW = procedureOf<decltype(f.GetShortPathNameW)>(kernel, "GetShortPathNameW");
        f.GetFileAttributesW = procedureOf<decltype(f.GetFileAttributesW)>(kernel, "GetFileAttributesW");
        f.CreateDirectoryW = procedureOf<decltype(f.CreateDirectoryW)>(kernel, "CreateDirectoryW");
        f.CompareStringW = procedureOf<decltype(f.CompareStringW)>(kernel, "CompareStringW");
        f.RegOpenKeyExW = procedureOf<decltype(f.RegOpenKeyExW)>(advapi, "RegOpenKeyExW");
        f.RegQueryValueExW = procedureOf<decltype(f.RegQueryValueExW)>(advapi, "RegQueryValueExW");
        f.RegSetValueExW = procedureOf<decltype(f.RegSetValueExW)>(advapi, "RegSetValueExW");
        f.RegDeleteValueW = procedureOf<decltype(f.RegDeleteValueW)>(advapi, "RegDeleteValueW");
        bool complete = f.GetModuleFileNameW && f.GetTempPathW && f.GetShortPathNameW && f.GetFileAttributesW &&
                        f.CreateDirectoryW && f.CompareStringW && f.RegOpenKeyExW && f.RegQueryValueExW &&
                        f.RegSetValueExW && f.RegDeleteValueW;
        state = isNtFamily() && complete ? 1 : -1;
    }
    return state == 1 ? &functions : nullptr;
}

size_t wideLength(const wchar_t* text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

bool sameWideText(const wchar_t* a, const wchar_t* b, bool ignoreCase)
{
    if (!ignoreCase) {
        for (; *a && *a == *b; ++a, ++b) {
        }
        return *a == *b;
    }
    const WideFunctions* wide = wideFunctions();
    return wide && wide->CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

namespace {

// `wide` in the code page, only when converting back gives the same characters: no
// best-fit replacement and no default character slipped in.
int convertsWithoutLoss(const wchar_t* wide, char* out)
{
    if (!WideCharToMultiByte(CP_ACP, 0, wide, -1, out, kPathChars, nullptr, nullptr))
        return 0;
    wchar_t back[kPathChars];
    return MultiByteToWideChar(CP_ACP, 0, out, -1, back, kPathChars) && sameWideText(back, wide, false);
}

// Makes `path` (wide, so that a name outside the code page can be made) with every
// missing parent. Whether it exists afterwards is the caller's question.
void makeWideFolderTree(const WideFunctions& wide, wchar_t* path)
{
    for (wchar_t* p = path; *p; ++p) {
        // "C:\" and the "\\server\share\" of a network path are no folders to make.
        if (*p != L'\\' || p == path || p[-1] == L':' || (path[0] == L'\\' && p - path < 2))
            continue;
        *p = L'\0';
        wide.CreateDirectoryW(path, nullptr);
        *p = L'\\';
    }
    wide.CreateDirectoryW(path, nullptr);
}

}  // namespace

int losslessNarrowPath(const wchar_t* wide, char* out)
{
    if (convertsWithoutLoss(wide, out))
        return 1;
    const WideFunctions* functions = wideFunctions();
    wchar_t shortForm[kPathChars];
    DWORD length = functions ? functions->GetShortPathNameW(wide, shortForm, kPathChars) : 0;
    if (length != 0 && length < kPathChars && convertsWithoutLoss(shortForm, out))
        return 1;
    out[0] = '\0';
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
}

DWORD WINAPI losslessModuleFileName(HMODULE module, LPSTR path, DWORD size)
{
    const WideFunctions* functions = wideFunctions();
    if (!functions)
        return GetModuleFileNameA(module, path, size);
    wchar_t wide[kPathChars];
    char narrow[kPathChars];
    DWORD length = functions->GetModuleFileNameW(module, wide, kPathChars);
    if (length == 0 || length >= kPathChars)
        return 0;
    if (!losslessNarrowPath(wide, narrow)) {
        traceCause("the program's path has no form in the system's code page", "");
        return 0;
    }
    length = DWORD(boundedLength(narrow, kPathChars));
    if (length >= size)
        return size;  // cut, as GetModuleFileNameA says it
    copyText(path, size, narrow);
    return length;
}

int tempFolderPath(char* out)
{
    out[0] = '\0';
    const WideFunctions* functions = wideFunctions();
    if (!functions) {
        DWORD length = GetTempPathA(kPathChars, out);
        if (length == 0 || length >= kPathChars)
            return 0;
        if (GetFileAttributesA(out) == INVALID_FILE_ATTRIBUTES)
            CreateDirectoryA(out, nullptr);  // the usual one has its parent, the Windows folder
        DWORD attributes = GetFileAttributesA(out);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            traceCall("CreateDirectoryA", GetLastError(), out);
            return 0;
        }
        return 1;
    }
    wchar_t wide[kPathChars];
    DWORD length = functions->GetTempPathW(kPathChars, wide);
    if (length == 0 || length >= kPathChars - 1) {
        traceCall("GetTempPathW", GetLastError(), "");
        return 0;
    }
    DWORD attributes = functions->GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        makeWideFolderTree(*functions, wide);
        attributes = functions->GetFileAttributesW(wide);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        char shown[kPathChars] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, shown, kPathChars, nullptr, nullptr);
        traceCall("CreateDirectoryW (the temporary folder)", GetLastError(), shown);
        return 0;
    }
    if (!losslessNarrowPath(wide, out)) {
        traceCause("the temporary folder has no form in the system's code page (no short name)", "");
        return 0;
    }
    return endWithSeparator(out, kPathChars);
}
