// Every text of a report comes from a folder of others: it is printed so that no byte
// of it can act on the terminal (an escape sequence erasing the lines above) or make
// the JSON document invalid. Control characters, bidirectional overrides and bytes
// that form no character are shown as "\xNN" (bytes) or "\uNNNN" (characters).
#include "setupcheck/printers.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "platform/paths.h"

namespace {

// Where a text comes from, which says how its bytes are to be read.
enum TextKind {
    kHostText,      // a name of this system: the folder, the files in it
    kCodePageText,  // a value of the setup data, in the system's code page
    kMixedText,     // a message that joins the two
};

const unsigned kNoCharacter = 0xFFFFFFFF;

#if defined(_WIN32)

// One character of the code page in use (single-byte, double-byte or UTF-8) at `p`.
size_t nextCharacter(const unsigned char* p, TextKind, unsigned* code)
{
    *code = kNoCharacter;
    if (*p < 0x80) {
        *code = *p;
        return 1;
    }
    for (int length = 1; length <= 4; ++length) {
        if (p[length - 1] == 0)
            break;
        WCHAR wide[2];
        int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(p), length,
                                        wide, 2);
        if (units == 1) {
            *code = wide[0];
            return size_t(length);
        }
        if (units == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00) {
            *code = 0x10000 + ((unsigned(wide[0]) - 0xD800) << 10) + (unsigned(wide[1]) - 0xDC00);
            return size_t(length);
        }
    }
    return 1;
}

#else

// The stand-in's code page, 1252: the characters of 0x80 to 0x9F; 0 where it has none.
const unsigned short kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// A UTF-8 sequence at `p` (not overlong, no surrogate, at most U+10FFFF); 0 if none.
size_t utf8Character(const unsigned char* p, unsigned* code)
{
    int more = *p >= 0xF0 && *p < 0xF5 ? 3 : *p >= 0xE0 && *p < 0xF0 ? 2 : *p >= 0xC2 && *p < 0xE0 ? 1 : 0;
    if (more == 0)
        return 0;
    unsigned value = *p & (0x3F >> more);
    for (int i = 1; i <= more; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (p[i] & 0x3F);
    }
    const unsigned least[] = {0, 0x80, 0x800, 0x10000};
    if (value < least[more] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
        return 0;
    *code = value;
    return size_t(more) + 1;
}

size_t nextCharacter(const unsigned char* p, TextKind kind, unsigned* code)
{
    *code = *p;
    if (*p < 0x80)
        return 1;
    if (kind != kCodePageText) {
        size_t length = utf8Character(p, code);
        if (length)
            return length;
        *code = kNoCharacter;
        if (kind == kHostText)
            return 1;
    }
    *code = *p >= 0xA0 ? *p : kWindows1252High[*p - 0x80] ? kWindows1252High[*p - 0x80] : kNoCharacter;
    return 1;
}

void putUtf8(unsigned code)
{
    if (code < 0x80) {
        putchar(int(code));
    } else if (code < 0x800) {
        putchar(int(0xC0 | code >> 6));
        putchar(int(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        putchar(int(0xE0 | code >> 12));
        putchar(int(0x80 | (code >> 6 & 0x3F)));
        putchar(int(0x80 | (code & 0x3F)));
    } else {
        putchar(int(0xF0 | code >> 18));
        putchar(int(0x80 | (code >> 12 & 0x3F)));
        putchar(int(0x80 | (code >> 6 & 0x3F)));
        putchar(int(0x80 | (code & 0x3F)));
    }
}

#endif

// Characters that act on a terminal or on the order in which text is shown.
bool isControl(unsigned code)
{
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) || code == 0xFEFF;
}

void printText(const char* text, TextKind kind)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned code;
        size_t length = nextCharacter(p, kind, &code);
        if (code == kNoCharacter || (code < 0x100 && isControl(code))) {
            for (size_t i = 0; i < length; ++i)
                printf("\\x%02X", p[i]);
        } else if (isControl(code)) {
            printf("\\u%04X", code);
        } else {
#if defined(_WIN32)
            fwrite(p, 1, length, stdout);  // the console reads the code page in use
#else
            putUtf8(code);
#endif
        }
        p += length;
    }
}

void printJsonText(const char* text, TextKind kind)
{
    putchar('"');
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned code;
        size_t length = nextCharacter(p, kind, &code);
        if (code == kNoCharacter) {
            for (size_t i = 0; i < length; ++i)
                printf("\\\\x%02X", p[i]);  // a byte, visible; the string stays text
        } else if (code == '"' || code == '\\') {
            printf("\\%c", char(code));
        } else if (code < 0x20 || code >= 0x7F) {
            if (code >= 0x10000)
                printf("\\u%04x\\u%04x", 0xD800 + ((code - 0x10000) >> 10), 0xDC00 + ((code - 0x10000) & 0x3FF));
            else
                printf("\\u%04x", code);
        } else {
            putchar(int(code));
        }
        p += length;
    }
    putchar('"');
}

// A path as this system writes it: the setup's "\" joins the names also where "/" is
// the separator.
const char* shownPath(const char* path)
{
#if defined(_WIN32)
    return path;
#else
    static char shown[kPathChars];
    copyText(shown, sizeof shown, path);
    for (char* p = shown; *p; ++p) {
        if (*p == '\\')
            *p = '/';
    }
    return shown;
#endif
}

// A line of the text report: `format` with each "%s" taking the next text, printed
// under its kind ("%h" host, "%v" code page value, "%m" message), "%d" an int.
void line(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    for (const char* p = format; *p; ++p) {
        if (*p != '%' || !p[1]) {
            putchar(*p);
            continue;
        }
        ++p;
        if (*p == 'd')
            printf("%d", va_arg(arguments, int));
        else if (*p == 'X')
            printf("%04X", va_arg(arguments, unsigned));
        else
            printText(va_arg(arguments, const char*), *p == 'h' ? kHostText : *p == 'v' ? kCodePageText : kMixedText);
    }
    va_end(arguments);
    putchar('\n');
}

void printPlace(const Source& where)
{
    if (!where.file[0])
        return;
    printf("    at ");
    printText(shownPath(where.file), kHostText);
    if (where.line)
        printf(":%d", where.line);
    if (where.column)
        printf(":%d", where.column);
    printf(" (");
    printText(where.label[0] ? where.label : "descriptor", kMixedText);
    printf(")\n");
}

void printLanguage(const Report& r)
{
    printf("\n");
    line("language: %X", r.language);
    if (r.mode) {
        line("mode: %m file (%h)", r.mode, shownPath(r.releaseFile));
        line("release: %v, version %v", r.settings.productName, r.settings.productVersion);
        if (r.previousVersion[0])
            line("installed now: %v, version %v", r.settings.previousName, r.previousVersion);
    }
    if (r.optionsRead) {
        const InstallSettings& s = r.settings;
        line("program folder: %v", s.programFolder);
        line("menu folder: %v", s.menuFolder);
        line("menu shortcut: %v -> %v", s.menuShortcut, s.programPath);
        line("search folders: %v", r.searchFolders);
        line("download candidates: %v", r.downloadCandidates);
        line("internet function: %d, browser button: %m", int(s.internetFunction), s.browserButton ? "yes" : "no");
        printf("files:\n");
        for (int i = 0; i < r.fileCount; ++i)
            line("  %m -> %v%m", r.files[i].source, r.files[i].target, r.files[i].present ? "" : "   (missing)");
        printf("registry (HKEY_LOCAL_MACHINE):\n");
        for (int i = 0; i < r.recordCount; ++i) {
            if (strcmp(r.records[i].name, "(key)") == 0)
                line("  %v", r.records[i].key);
            else
                line("  %v: %m = %v", r.records[i].key, r.records[i].name, r.records[i].value);
        }
    } else if (r.fileCount > 0) {
        printf("files:\n");
        for (int i = 0; i < r.fileCount; ++i)
            line("  %m%m", r.files[i].source, r.files[i].present ? "" : "   (missing)");
    }
    for (int i = 0; i < r.findingCount; ++i) {
        const Finding& f = r.findings[i];
        if (f.error)
            line("error (%X): %m", unsigned(f.result), f.message);
        else
            line("warning: %m", f.message);
        printPlace(f.where);
    }
    // On Linux the result is the stand-in's, a fresh Windows XP's.
    printf("result: %04X%s\n", unsigned(r.result),
           r.dependsOnMachine ? " (on a fresh Windows; it depends on the machine: see the warnings)" : "");
}

void printJsonField(const char* name, const char* value, TextKind kind, bool last = false)
{
    printf("\"%s\": ", name);
    printJsonText(value, kind);
    printf(last ? "" : ", ");
}

void printJsonLanguage(const Report& r, bool last)
{
    printf("    {\"language\": \"%04X\", \"mode\": ", r.language);
    if (r.mode)
        printJsonText(r.mode, kMixedText);
    else
        printf("null");
    printf(", \"result\": \"%04X\", \"resultDependsOnMachine\": %s,\n", unsigned(r.result),
           r.dependsOnMachine ? "true" : "false");
    if (r.mode) {
        printf("     ");
        printJsonField("releaseFile", shownPath(r.releaseFile), kHostText);
        printJsonField("name", r.settings.productName, kCodePageText);
        printJsonField("version", r.settings.productVersion, kCodePageText);
        printf("\n");
    }
    if (r.optionsRead) {
        const InstallSettings& s = r.settings;
        printf("     ");
        printJsonField("programFolder", s.programFolder, kCodePageText);
        printJsonField("menuFolder", s.menuFolder, kCodePageText);
        printf("\n     \"menuShortcut\": {");
        printJsonField("path", s.menuShortcut, kCodePageText);
        printJsonField("target", s.programPath, kCodePageText, true);
        printf("}, ");
        printJsonField("searchFolders", r.searchFolders, kCodePageText);
        printJsonField("downloadCandidates", r.downloadCandidates, kCodePageText);
        printf("\"internetFunction\": %d, \"browserButton\": %s,\n", int(s.internetFunction),
               s.browserButton ? "true" : "false");
    }
    if (r.fileCount > 0) {
        printf("     \"files\": [");
        for (int i = 0; i < r.fileCount; ++i) {
            printf("%s\n       {", i ? "," : "");
            printJsonField("source", r.files[i].source, kMixedText);
            printJsonField("target", r.files[i].target, kCodePageText);
            printf("\"present\": %s}", r.files[i].present ? "true" : "false");
        }
        printf("],\n");
    }
    if (r.optionsRead) {
        printf("     \"registry\": [");
        for (int i = 0; i < r.recordCount; ++i) {
            printf("%s\n       {", i ? "," : "");
            printJsonField("key", r.records[i].key, kCodePageText, true);
            if (strcmp(r.records[i].name, "(key)") != 0) {
                printf(", ");
                printJsonField("name", r.records[i].name, kMixedText);
                printJsonField("value", r.records[i].value, kCodePageText, true);
            }
            printf("}");
        }
        printf("],\n");
    }
    printf("     \"findings\": [");
    for (int i = 0; i < r.findingCount; ++i) {
        const Finding& f = r.findings[i];
        printf("%s\n       {\"severity\": \"%s\", ", i ? "," : "", f.error ? "error" : "warning");
        if (f.error)
            printf("\"result\": \"%04X\", ", unsigned(f.result));
        printJsonField("message", f.message, kMixedText, !f.where.file[0]);
        if (f.where.file[0]) {
            printJsonField("file", shownPath(f.where.file), kHostText);
            printJsonField("key", f.where.label, kMixedText);
            printf("\"line\": %d, \"column\": %d", f.where.line, f.where.column);
        }
        printf("}");
    }
    printf("]}%s\n", last ? "" : ",");
}

// The code page whose characters the paths were split by.
unsigned codePage()
{
#if defined(_WIN32)
    return GetACP();
#else
    return pathCodePage();
#endif
}

}  // namespace

void printTextReport(const char* folder, const Report* reports, int count)
{
    line("release folder: %h", folder);
    line("code page: %d", int(codePage()));
    for (int i = 0; i < count; ++i)
        printLanguage(reports[i]);
}

void printJsonReport(const char* folder, int exitCode, const Report* reports, int count)
{
    printf("{\"folder\": ");
    printJsonText(folder, kHostText);
    printf(", \"codePage\": %u, \"exitCode\": %d, \"languages\": [\n", codePage(), exitCode);
    for (int i = 0; i < count; ++i)
        printJsonLanguage(reports[i], i + 1 == count);
    printf("]}\n");
}
