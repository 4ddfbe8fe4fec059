// Reads profile files with GetPrivateProfileStringA and prints what each read gave:
// built for Windows it asks the system's reader, built for this system it asks the
// stand-in machine's reader (platform/host), the one the release-folder checker uses.
// The differential test (profile_diff.py) runs both on the same files and compares.
//
//   profile_reader QUERIES
//
// QUERIES holds lines "F PATH" (the file that the reads after it ask) and
// "Q SECTION KEY DEFAULT SIZE"; every text is hex-encoded bytes, "-" for a null
// pointer, "~" for an empty text. Each Q line prints "COUNT TEXT END BEYOND": the
// count returned, the bytes before it (hex), the byte at it ("--" when the buffer was
// not written there) and how many bytes past it were written.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const size_t kMaxText = 4096;
const unsigned char kUnwritten = 0xCC;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes one field in place; false for a null pointer ("-").
bool decode(char* field, bool* present)
{
    *present = strcmp(field, "-") != 0;
    if (!*present)
        return true;
    if (strcmp(field, "~") == 0) {
        field[0] = '\0';
        return true;
    }
    size_t length = strlen(field);
    if (length % 2)
        return false;
    for (size_t i = 0; i < length / 2; ++i) {
        int high = hexDigit(field[2 * i]);
        int low = hexDigit(field[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        field[i] = char(high * 16 + low);
    }
    field[length / 2] = '\0';
    return true;
}

void printHex(const char* bytes, size_t count)
{
    if (count == 0)
        fputc('~', stdout);
    for (size_t i = 0; i < count; ++i)
        printf("%02x", unsigned(static_cast<unsigned char>(bytes[i])));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: profile_reader QUERIES\n");
        return 2;
    }
    FILE* queries = fopen(argv[1], "rb");
    if (queries == nullptr) {
        fprintf(stderr, "profile_reader: cannot open %s\n", argv[1]);
        return 2;
    }
    static char line[4 * kMaxText];
    static char path[kMaxText];
    static char out[kMaxText + 64];
    while (fgets(line, sizeof line, queries)) {
        line[strcspn(line, "\r\n")] = '\0';
        char* fields[5] = {};
        int count = 0;
        for (char* p = strtok(line, " "); p && count < 5; p = strtok(nullptr, " "))
            fields[count++] = p;
        bool present = false;
        if (count == 2 && strcmp(fields[0], "F") == 0 && decode(fields[1], &present) && present) {
#ifdef _WIN32
            // A name without a folder would be looked for in the Windows folder.
            if (GetFullPathNameA(fields[1], sizeof path, path, nullptr) == 0)
                path[0] = '\0';
#else
            snprintf(path, sizeof path, "%s", fields[1]);
#endif
            puts("F");
            continue;
        }
        bool hasSection = false, hasKey = false, hasDefault = false;
        unsigned long size = count == 5 ? strtoul(fields[4], nullptr, 10) : 0;
        if (count != 5 || strcmp(fields[0], "Q") || !decode(fields[1], &hasSection) || !decode(fields[2], &hasKey) ||
            !decode(fields[3], &hasDefault) || size > kMaxText || !hasSection || !hasKey) {
            fprintf(stderr, "profile_reader: bad line\n");
            return 2;
        }
        memset(out, kUnwritten, sizeof out);
        DWORD length = GetPrivateProfileStringA(fields[1], fields[2], hasDefault ? fields[3] : nullptr, out,
                                                DWORD(size), path);
        size_t shown = length < size ? length : 0;
        printf("%lu ", static_cast<unsigned long>(length));
        printHex(out, shown);
        if (size > 0 && length < size && static_cast<unsigned char>(out[length]) != kUnwritten)
            printf(" %02x", unsigned(static_cast<unsigned char>(out[length])));
        else
            printf(" --");
        int beyond = 0;
        for (size_t i = size > 0 ? size_t(length) + 1 : 0; i < size; ++i)
            beyond += static_cast<unsigned char>(out[i]) != kUnwritten;
        printf(" %d\n", beyond);
    }
    fclose(queries);
    return 0;
}
