#include "setupdata/names.h"

#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// A path of 260 characters holds at most this many names of one character each.
const size_t kNamesMax = 130;

// In the double-byte code pages (Japanese, Chinese, Korean) the second byte of a
// character may be a backslash or a bar: it belongs to the character.
bool isLeadByte(unsigned char c)
{
#if defined(_WIN32)
    return IsDBCSLeadByte(c) != 0;
#else
    (void)c;
    return false;
#endif
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Whether the part of `name` before its first dot (what the system reads as the
// device) is `device`, in any case.
bool namesDevice(const char* name, const char* device)
{
    size_t i = 0;
    for (; device[i]; ++i) {
        if (upper(name[i]) != device[i])
            return false;
    }
    return name[i] == '\0' || name[i] == '.';
}

bool isDeviceName(const char* name)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kDevices) {
        if (namesDevice(name, device))
            return true;
    }
    static const char* const kPorts[] = {"COM", "LPT"};
    for (const char* port : kPorts) {
        char device[5] = {port[0], port[1], port[2], '1', '\0'};
        for (char digit = '1'; digit <= '9'; ++digit) {
            device[3] = digit;
            if (namesDevice(name, device))
                return true;
        }
    }
    return false;
}

}  // namespace

bool isValidFileName(const char* name)
{
    if (name == nullptr || name[0] == '\0')
        return false;
    char last = '\0';
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (isLeadByte(c) && p[1] != '\0') {
            last = *++p;  // the trail byte, never a dot or a space
            continue;
        }
        if (c < 0x20 || strchr("\\/:*?\"<>|", c) != nullptr)
            return false;
        last = *p;
    }
    return last != '.' && last != ' ' && !isDeviceName(name);
}

bool isValidFolderPath(const char* folder)
{
    if (!isAbsoluteFolder(folder))
        return false;
    // The device and unparsed forms: the system takes their names as written.
    if (folder[0] == '\\' && (folder[2] == '.' || folder[2] == '?') && folder[3] == '\\')
        return false;
    // The names after "X:\" or after "\\server\share\"; empty ones (doubled or
    // trailing backslashes) the system passes over.
    const char* p = folder[0] == '\\' ? strchr(strchr(folder + 2, '\\') + 1, '\\') : folder + 3;
    while (p && *p) {
        if (*p == '\\')
            ++p;
        char name[260];
        size_t length = 0;
        for (; *p && *p != '\\'; ++p) {
            if (length + 2 >= sizeof name)
                return false;
            name[length++] = *p;
            if (isLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0')
                name[length++] = *++p;
        }
        name[length] = '\0';
        if (length && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 && !isValidFileName(name))
            return false;
    }
    return true;
}

bool isAbsoluteFolder(const char* folder)
{
    if (folder == nullptr)
        return false;
    char drive = upper(folder[0]);
    if (drive >= 'A' && drive <= 'Z' && folder[1] == ':' && folder[2] == '\\')
        return true;
    // "\\server\share": both names present.
    if (folder[0] != '\\' || folder[1] != '\\' || folder[2] == '\\' || folder[2] == '\0')
        return false;
    const char* share = strchr(folder + 2, '\\');
    return share != nullptr && share[1] != '\0' && share[1] != '\\';
}

int canonicalFolderPath(const char* folder, char* out, size_t capacity)
{
    if (!isValidFolderPath(folder) || capacity < 4)
        return 0;
    // The root: "X:\" or "\\server\share", then the names, each after a backslash.
    const char* p = folder[0] == '\\' ? strchr(strchr(folder + 2, '\\') + 1, '\\') : folder + 3;
    size_t rootLength = p ? size_t(p - folder) : strlen(folder);
    if (rootLength + 1 > capacity)
        return 0;
    memcpy(out, folder, rootLength);
    size_t length = rootLength;
    if (folder[0] != '\\')
        --length;  // "X:" here; every name below brings its backslash
    out[length] = '\0';
    size_t starts[kNamesMax];  // where each name in `out` begins, with its backslash
    size_t depth = 0;
    while (p && *p) {
        while (*p == '\\')
            ++p;
        const char* name = p;
        for (; *p && *p != '\\'; ++p) {
            if (isLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0')
                ++p;
        }
        size_t nameLength = size_t(p - name);
        if (nameLength == 0 || (nameLength == 1 && name[0] == '.'))
            continue;
        if (nameLength == 2 && name[0] == '.' && name[1] == '.') {
            // Back to where the last name began (a trail byte may be a backslash, so
            // the text is not searched backwards); never into the root.
            if (depth > 0)
                length = starts[--depth];
            out[length] = '\0';
            continue;
        }
        if (length + 1 + nameLength + 1 > capacity || depth == kNamesMax)
            return 0;
        starts[depth++] = length;
        out[length++] = '\\';
        memcpy(out + length, name, nameLength);
        length += nameLength;
        out[length] = '\0';
    }
    if (folder[0] != '\\' && length == 2) {
        out[2] = '\\';  // the drive's root itself
        out[3] = '\0';
    }
    return 1;
}
