#include "setupdata/names.h"

#include <string.h>

#include "platform/paths.h"

namespace {

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
        // The trail byte of a double-byte character may be a backslash or a bar: it
        // belongs to the character, and is never a dot or a space.
        if (isLeadByte(c) && p[1] != '\0') {
            last = *++p;
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
    char canonical[260];  // never longer than the folder, which fits a path
    return canonicalFolderPath(folder, canonical, sizeof canonical) != 0;
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
    const char* share = nextSeparator(folder + 2);
    return *share && share[1] != '\0' && share[1] != '\\';
}

int canonicalFolderPath(const char* folder, char* out, size_t capacity)
{
    // The device and unparsed forms ("\\.\", "\\?\"): the system takes their names as written.
    if (!isAbsoluteFolder(folder) || capacity < 4 ||
        (folder[0] == '\\' && (folder[2] == '.' || folder[2] == '?') && folder[3] == '\\'))
        return 0;
    // The root: "X:" or "\\server\share", then each name after a backslash; empty
    // names (doubled or trailing backslashes) the system passes over.
    size_t rootLength = pathRootLength(folder);
    if (rootLength + 1 > capacity)
        return 0;
    memcpy(out, folder, rootLength);
    out[rootLength] = '\0';
    for (const char* p = folder + rootLength; *p;) {
        const char* name = p + 1;
        p = nextSeparator(name);
        size_t nameLength = size_t(p - name);
        size_t length = strlen(out);
        if (nameLength == 2 && name[0] == '.' && name[1] == '.') {
            size_t parent = parentLength(out);  // never into the root
            out[parent > rootLength ? parent : rootLength] = '\0';
        } else if (nameLength > 1 || (nameLength == 1 && name[0] != '.')) {
            if (length + 1 + nameLength + 1 > capacity)
                return 0;
            out[length] = '\\';
            memcpy(out + length + 1, name, nameLength);
            out[length + 1 + nameLength] = '\0';
            if (!isValidFileName(out + length + 1))
                return 0;
        }
    }
    // A drive's root itself is "X:\".
    return out[rootLength] != '\0' || folder[0] == '\\' || endWithSeparator(out, capacity);
}
