// setupcheck: reads a release folder as setup.exe would, with setup.exe's own code,
// and says what an installation would read, do and end with.
//
//   setupcheck FOLDER [--language ID | --all-languages] [--json]
//
// ID is a language id in hex (0407); the default is this machine's (English where
// there is no Windows); --all-languages checks the fourteen languages of setup.exe's
// own texts one after another. Exit code: 0 when the installation would succeed (in
// every language checked), 1 when it would succeed with warnings (what installs but
// is probably not meant), 2 when it would fail, 3 when FOLDER is no folder.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "actions/file_plan.h"
#include "actions/files.h"
#include "actions/registry_records.h"
#include "actions/search_path.h"
#include "platform/profile_text.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "resources/resource.h"
#include "setupdata/descriptor_values.h"
#include "setupdata/install_settings.h"
#include "setupdata/options.h"
#include "setupdata/run_flags.h"
#include "setupdata/settings.h"
#include "setupdata/setup_data.h"
#include "setupdata/setup_value.h"

namespace {

enum { kMaxSources = 48, kMaxFindings = 40, kMaxRecords = 32, kMessageChars = 2 * kPathChars + 160 };

// Where a value came from: the key read (a label such as "[INIT] TARGET" or a
// descriptor key), and the file, line and column of the text that was used.
struct Source {
    char label[96];
    char text[kPathChars];
    char file[kPathChars];
    int line;
    int column;  // 0 for the settings files: a key names its whole line
};

struct Finding {
    bool error;
    char message[kMessageChars];
    Source where;  // file empty: no place to name
};

struct PlannedFile {
    const char* source;
    char target[kPathChars];
    bool present;
};

struct Record {
    char key[kPathChars];
    const char* name;
    char value[kPathChars];
};

// What one installation in one language would read, do and end with.
struct Report {
    unsigned language;
    const char* mode;  // "settings", "descriptor" or null when no setup data was found
    char releaseFile[kPathChars];
    bool optionsRead;  // the release and the folders were read
    InstallSettings settings;
    char previousVersion[kPathChars];
    PlannedFile files[kFileCount];
    int fileCount;
    Record records[kMaxRecords];
    int recordCount;
    char searchFolders[kPathChars];
    char downloadCandidates[kPathChars];
    Source sources[kMaxSources];
    int sourceCount;
    Finding findings[kMaxFindings];
    int findingCount;
    int result;  // the first failing step decides
};

// The languages of setup.exe's string tables.
const unsigned kLanguages[] = {0x0409, 0x0406, 0x0407, 0x0C0A, 0x040B, 0x040C, 0x0410,
                               0x0411, 0x0412, 0x0413, 0x0414, 0x041D, 0x0804, 0x0404};
const int kLanguageCount = int(sizeof kLanguages / sizeof kLanguages[0]);

Report* reports;  // one per language checked, from the heap: about 100 KB each
Report* current;
char setupPath[kPathChars];  // FOLDER\setup.exe: the program the checker stands in for

DWORD WINAPI releaseFolderModulePath(HMODULE, LPSTR path, DWORD size)
{
    copyText(path, size, setupPath);
    return DWORD(boundedLength(path, size));
}

// --- Places in the setup data ---

// The whole of a setup data file, for line numbers; the last one read is kept. Read
// with the platform's calls, which also take the setup's own path forms elsewhere.
const char* fileText(const char* path)
{
    static char cachedPath[kPathChars];
    static char* cached;
    if (cached && strcmp(cachedPath, path) == 0)
        return cached;
    free(cached);
    copyText(cachedPath, sizeof cachedPath, path);
    cached = readWholeFile(path);
    return cached ? cached : "";
}

// Line and column (from 1) of byte `offset` of `path`.
void placeOffset(const char* path, size_t offset, Source* where)
{
    const char* text = fileText(path);
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < offset && text[i]; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    copyText(where->file, sizeof where->file, path);
    where->line = line;
    where->column = int(offset - lineStart) + 1;
}

Source* newSource(const char* label)
{
    if (current->sourceCount == kMaxSources)
        --current->sourceCount;  // the latest counts most: it replaces the last one kept
    Source* source = &current->sources[current->sourceCount++];
    ZeroMemory(source, sizeof *source);
    copyText(source->label, sizeof source->label, label);
    return source;
}

void addFinding(bool error, const char* message, const Source* where)
{
    if (current->findingCount == kMaxFindings)
        return;
    Finding& finding = current->findings[current->findingCount++];
    ZeroMemory(&finding, sizeof finding);
    finding.error = error;
    copyText(finding.message, sizeof finding.message, message);
    if (where)
        finding.where = *where;
}

// The source whose label the text names, else the one with the longest text it holds.
const Source* sourceNamedIn(const char* text)
{
    const Source* best = nullptr;
    size_t bestLength = 0;
    for (int i = current->sourceCount - 1; i >= 0; --i) {
        const Source& source = current->sources[i];
        if (strstr(text, source.label))
            return &source;
        size_t length = strlen(source.text);
        if (length > 2 && length > bestLength && strstr(text, source.text)) {
            best = &source;
            bestLength = length;
        }
    }
    return best;
}

Source* sourceLabelled(const char* label)
{
    for (int i = current->sourceCount - 1; i >= 0; --i) {
        if (strcmp(current->sources[i].label, label) == 0)
            return &current->sources[i];
    }
    return nullptr;
}

void warn(const char* message, const char* sourceLabel)
{
    addFinding(false, message, sourceLabel ? sourceLabelled(sourceLabel) : nullptr);
}

// A reference resolved from a less specific strings section although this language
// has a section of its own: probably a text left untranslated there.
void checkFallback(const char* file, const char* section, const char* name)
{
    char own[2][16];
    formatText(own[0], sizeof own[0], "STRINGS.%04X", unsigned(systemProfile.language));
    formatText(own[1], sizeof own[1], "STRINGS.%04X", unsigned(systemProfile.primaryLanguage));
    for (const char* more : own) {
        if (strcmp(more, section) == 0)
            return;
        if (profileTextLine(fileText(file), more, nullptr) > 0) {
            char message[kMessageChars];
            formatText(message, sizeof message, "%%%s%% is taken from [%s]: [%s] has no %s", name, section,
                       more, name);
            for (int i = 0; i < current->findingCount; ++i) {
                if (strcmp(current->findings[i].message, message) == 0)
                    return;  // the same key is read more than once
            }
            addFinding(false, message, &current->sources[current->sourceCount - 1]);
            return;
        }
    }
}

void noteSetupValue(const char* file, const char* section, const char* key, const char* value)
{
    if (section == nullptr)
        return;  // an unresolved reference: the key's own place stays
    if (strncmp(section, "STRINGS", 7) == 0 && current->sourceCount > 0) {
        Source* source = &current->sources[current->sourceCount - 1];
        copyText(source->text, sizeof source->text, value);
        source->line = profileTextLine(fileText(file), section, key);
        checkFallback(file, section, key);
        return;
    }
    char label[96];
    formatText(label, sizeof label, "[%s] %s", section, key);
    Source* source = newSource(label);
    copyText(source->text, sizeof source->text, value ? value : "");
    copyText(source->file, sizeof source->file, file);
    source->line = profileTextLine(fileText(file), section, value ? key : nullptr);
}

void noteDescriptorNode(const XmlDocument* tree, const XmlNode* node, const char* key)
{
    Source* source = sourceLabelled(key);
    if (source == nullptr)
        source = newSource(key);
    // Names lie in the document's copy of the file at their own offsets; the tag's "<" precedes.
    size_t offset = size_t(node->name - tree->buffer);
    placeOffset(releaseFilePath, offset ? offset - 1 : 0, source);
    copyText(source->text, sizeof source->text, node->text);
}

// A cause that setup.exe would write to the debugger output: an error, placed where
// the value it names came from.
void noteCause(const char* line)
{
    const Source* where = sourceNamedIn(line);
    Source descriptor;
    if (strstr(line, "descriptor is not well-formed")) {
        ZeroMemory(&descriptor, sizeof descriptor);
        placeOffset(releaseFilePath, descriptorFailedAt, &descriptor);
        where = &descriptor;
    }
    addFinding(true, line, where);
}

void fail(int code)
{
    if (current->result == 0)
        current->result = code;
}

// --- What an installation would do ---

// A ".." among the folder names: the folder lies outside the one it is written under.
bool leavesItsParent(const char* folder)
{
    for (const char* p = strstr(folder, "\\.."); p; p = strstr(p + 1, "\\.."))
        if (p[3] == '\\' || p[3] == '\0')
            return true;
    return false;
}

// The release version's usual form, "x.yy.zzzz": a running copy is found by comparing
// versions as text, which only works between versions of one form.
bool hasVersionForm(const char* version)
{
    size_t digits = strspn(version, "0123456789");
    return digits > 0 && version[digits] == '.' && strspn(version + digits + 1, "0123456789") == 2 &&
           version[digits + 3] == '.' && strspn(version + digits + 4, "0123456789") == 4 &&
           version[digits + 8] == '\0';
}

// Each piece of a ";"-separated list, as the run splits it; empty pieces are skipped.
template <typename Use>
void forEachPiece(const char* list, Use use)
{
    char piece[kPathChars];
    while (*list) {
        size_t length = strcspn(list, ";");
        if (length > 0 && length < sizeof piece) {
            memcpy(piece, list, length);
            piece[length] = '\0';
            use(piece);
        }
        list += length;
        if (*list == ';')
            ++list;
    }
}

void addRecord(const char* key, const char* name, const char* value)
{
    if (current->recordCount == kMaxRecords)
        return;
    Record& record = current->records[current->recordCount++];
    copyText(record.key, sizeof record.key, key);
    record.name = name;
    copyText(record.value, sizeof record.value, value);
}

void planFiles(const char* folder, const InstallSettings& s)
{
    const char* const* sources;
    const char* const* targets;
    Places places;
    PathList installed;
    int count = deploymentFiles(descriptorMode, &sources, &targets);
    bool fits = findPlaces(places) && formInstalledPaths(places, s.programFolder, installed);
    for (int i = 0; i < count; ++i) {
        PlannedFile& file = current->files[current->fileCount++];
        char found[kPathChars];
        file.source = sources[i];
        file.present = fileInFolder(folder, sources[i], found) != 0;
        copyText(file.target, sizeof file.target, fits ? installed.paths[i] : targets[i]);
        if (!file.present) {
            char path[kPathChars];
            formatText(path, sizeof path, "%s\\%s", folder, sources[i]);
            traceCause("source file missing", path);
            fail(IDS_PHASE_COPY_FILES);
        }
    }
    if (!programFolderFits(s.programFolder)) {
        traceCause("the program folder is too long for the file paths", s.programFolder);
        fail(IDS_PHASE_COPY_FILES);
    }
}

void planRecords(const InstallSettings& s)
{
    char text[kPathChars];
    addRecord(kProductKeyPath, "ProgDir", s.programFolder);
    formatText(text, sizeof text, "%s\\PkgMgr.exe", s.programFolder);
    addRecord(kProductKeyPath, "(default)", text);
    addRecord(kProductKeyPath, "Name", s.productName);
    addRecord(kProductKeyPath, "Version", s.productVersion);
    addRecord(kProductKeyPath, "MenuDir", s.menuFolder);
    formatText(text, sizeof text, "%d", int(s.internetFunction));
    addRecord(kProductKeyPath, "InternetFunction", text);
    const char* const* sources;
    const char* const* targets;
    deploymentFiles(descriptorMode, &sources, &targets);
    addRecord(kUninstallKeyPath, "DisplayName", s.productName);
    formatText(text, sizeof text, "%s /U", targets[0]);
    addRecord(kUninstallKeyPath, "UninstallString", text);
    char windows[kPathChars] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    formatText(text, sizeof text, "%s\\%s,0", windows, targets[0]);
    addRecord(kUninstallKeyPath, "DisplayIcon", text);
    addRecord(kUninstallKeyPath, "DisplayVersion", s.productVersion);
    addRecord(kUninstallKeyPath, "Publisher", kPublisher);
    addRecord(kUninstallKeyPath, "InstallLocation", s.programFolder);
    addRecord(kUninstallKeyPath, "EstimatedSize", "(kilobytes of the installed files)");
    formatText(text, sizeof text, "\"%s\\%s\" /S /U", windows, targets[0]);
    addRecord(kUninstallKeyPath, "QuietUninstallString", text);
    addRecord(kUninstallKeyPath, "NoModify", "1");
    addRecord(kUninstallKeyPath, "NoRepair", "1");

    readDefaultSearch(current->searchFolders);
    forEachPiece(current->searchFolders, [](const char* folder) {
        char key[kPathChars];
        if (!searchFolderKey(folder, key)) {
            traceCause("the search folder is too long for its registry key", folder);
            fail(IDS_PHASE_REGISTRY);
        } else {
            addRecord(key, "(key)", "");
        }
    });
    readDownloadFolders(current->downloadCandidates);
}

// One installation in `language` (0: this machine's).
void checkLanguage(const char* folder, unsigned language, Report* report)
{
    current = report;
    ZeroMemory(report, sizeof *report);
    int located = locateSetupData(GetModuleHandleA(nullptr), kRunInstall);
    if (language) {
        systemProfile.language = uint16_t(language);
        systemProfile.primaryLanguage = uint16_t(language & 0x3FF);
    }
    report->language = systemProfile.language;
    copyText(report->releaseFile, sizeof report->releaseFile, releaseFilePath);
    if (!located) {
        fail(IDS_PHASE_INITIALIZATION);
        return;
    }
    InstallSettings& s = report->settings;
    report->mode = descriptorMode ? "descriptor" : "settings";
    int32_t cancelled = 0;
    // Silent: the options step reads what the dialog would preset and shows nothing.
    if (!runOptionsStep(&cancelled, &s, report->previousVersion, kRunInstall | kRunSilent))
        fail(IDS_PHASE_INITIALIZATION);
    report->optionsRead = report->result == 0;
    if (report->optionsRead) {
        const char* target = descriptorMode ? nullptr : "[INIT] TARGET";
        if (leavesItsParent(s.programFolder))
            warn("the program folder lies outside the program-files folder (\"..\")", target);
        if (leavesItsParent(s.menuFolder))
            warn("the menu folder lies outside the Programs folder (\"..\")", "[INIT] GROUP");
        if (!hasVersionForm(s.productVersion))
            warn("the version is not of the form x.yy.zzzz", descriptorMode ? "VERSION" : "[RELEASE] VERSION");
        planFiles(folder, s);
        planRecords(s);
    }
    releaseSetupData();
}

// A value of one language that differs where all the other languages agree.
template <typename Field>
void compareLanguages(const char* what, const char* label, Field field)
{
    for (int i = 0; i < kLanguageCount; ++i) {
        if (!reports[i].optionsRead)
            continue;
        const char* agreed = nullptr;
        int others = 0;
        bool agree = true;
        for (int j = 0; j < kLanguageCount && agree; ++j) {
            if (j == i || !reports[j].optionsRead)
                continue;
            if (agreed == nullptr)
                agreed = field(reports[j]);
            agree = strcmp(agreed, field(reports[j])) == 0;
            ++others;
        }
        if (agree && others >= 2 && strcmp(agreed, field(reports[i])) != 0) {
            char message[kMessageChars];
            formatText(message, sizeof message, "the %s differs from the other languages' (\"%s\")", what, agreed);
            current = &reports[i];
            warn(message, label);
        }
    }
}

// --- Output ---

int warningCount(const Report& report)
{
    int count = 0;
    for (int i = 0; i < report.findingCount; ++i)
        count += !report.findings[i].error;
    return count;
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

void printPlace(const Source& where)
{
    if (!where.file[0])
        return;
    printf("    at %s", shownPath(where.file));
    if (where.line)
        printf(":%d", where.line);
    if (where.column)
        printf(":%d", where.column);
    printf(" (%s)\n", where.label[0] ? where.label : "descriptor");
}

void printText(const Report& r)
{
    printf("\nlanguage: %04X\n", r.language);
    if (r.mode) {
        printf("mode: %s file (%s)\n", r.mode, shownPath(r.releaseFile));
        printf("release: %s, version %s\n", r.settings.productName, r.settings.productVersion);
        if (r.previousVersion[0])
            printf("installed now: %s, version %s\n", r.settings.previousName, r.previousVersion);
    }
    if (r.optionsRead) {
        const InstallSettings& s = r.settings;
        printf("program folder: %s\n", s.programFolder);
        printf("menu folder: %s\n", s.menuFolder);
        printf("menu shortcut: %s -> %s\n", s.menuShortcut, s.programPath);
        printf("search folders: %s\n", r.searchFolders);
        printf("download candidates: %s\n", r.downloadCandidates);
        printf("internet function: %d, browser button: %s\n", int(s.internetFunction),
               s.browserButton ? "yes" : "no");
        printf("files:\n");
        for (int i = 0; i < r.fileCount; ++i)
            printf("  %s -> %s%s\n", r.files[i].source, r.files[i].target, r.files[i].present ? "" : "   (missing)");
        printf("registry (HKEY_LOCAL_MACHINE):\n");
        for (int i = 0; i < r.recordCount; ++i) {
            if (strcmp(r.records[i].name, "(key)") == 0)
                printf("  %s\n", r.records[i].key);
            else
                printf("  %s: %s = %s\n", r.records[i].key, r.records[i].name, r.records[i].value);
        }
    }
    for (int i = 0; i < r.findingCount; ++i) {
        printf("%s: %s\n", r.findings[i].error ? "error" : "warning", r.findings[i].message);
        printPlace(r.findings[i].where);
    }
    printf("result: %04X\n", unsigned(r.result));
}

// A JSON string of ANSI text: the system's code page where there is one, Latin-1 for
// the stand-in machine elsewhere.
void printJsonString(const char* text)
{
    putchar('"');
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            printf("\\%c", *p);
        } else if (*p < 0x20) {
            printf("\\u%04x", *p);
        } else if (*p < 0x80) {
            putchar(*p);
        } else {
#if defined(_WIN32)
            WCHAR wide[2] = {};
            int bytes = IsDBCSLeadByte(*p) && p[1] ? 2 : 1;
            int units = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(p), bytes, wide, 2);
            for (int i = 0; i < units; ++i)
                printf("\\u%04x", unsigned(wide[i]));
            p += bytes - 1;
#else
            printf("\\u%04x", *p);
#endif
        }
    }
    putchar('"');
}

void printJsonField(const char* name, const char* value, bool last = false)
{
    printf("\"%s\": ", name);
    printJsonString(value);
    printf(last ? "" : ", ");
}

void printJson(const Report& r, bool last)
{
    printf("    {\"language\": \"%04X\", \"mode\": ", r.language);
    if (r.mode)
        printJsonString(r.mode);
    else
        printf("null");
    printf(", \"result\": \"%04X\",\n", unsigned(r.result));
    if (r.mode) {
        printf("     ");
        printJsonField("releaseFile", shownPath(r.releaseFile));
        printJsonField("name", r.settings.productName);
        printJsonField("version", r.settings.productVersion);
        printf("\n");
    }
    if (r.optionsRead) {
        const InstallSettings& s = r.settings;
        printf("     ");
        printJsonField("programFolder", s.programFolder);
        printJsonField("menuFolder", s.menuFolder);
        printf("\n     \"menuShortcut\": {");
        printJsonField("path", s.menuShortcut);
        printJsonField("target", s.programPath, true);
        printf("}, ");
        printJsonField("searchFolders", r.searchFolders);
        printJsonField("downloadCandidates", r.downloadCandidates);
        printf("\"internetFunction\": %d, \"browserButton\": %s,\n     \"files\": [", int(s.internetFunction),
               s.browserButton ? "true" : "false");
        for (int i = 0; i < r.fileCount; ++i) {
            printf("%s\n       {", i ? "," : "");
            printJsonField("source", r.files[i].source);
            printJsonField("target", r.files[i].target);
            printf("\"present\": %s}", r.files[i].present ? "true" : "false");
        }
        printf("],\n     \"registry\": [");
        for (int i = 0; i < r.recordCount; ++i) {
            printf("%s\n       {", i ? "," : "");
            printJsonField("key", r.records[i].key, true);
            if (strcmp(r.records[i].name, "(key)") != 0) {
                printf(", ");
                printJsonField("name", r.records[i].name);
                printJsonField("value", r.records[i].value, true);
            }
            printf("}");
        }
        printf("],\n");
    }
    printf("     \"findings\": [");
    for (int i = 0; i < r.findingCount; ++i) {
        const Finding& f = r.findings[i];
        printf("%s\n       {\"severity\": \"%s\", ", i ? "," : "", f.error ? "error" : "warning");
        printJsonField("message", f.message, !f.where.file[0]);
        if (f.where.file[0]) {
            printJsonField("file", shownPath(f.where.file));
            printJsonField("key", f.where.label);
            printf("\"line\": %d, \"column\": %d", f.where.line, f.where.column);
        }
        printf("}");
    }
    printf("]}%s\n", last ? "" : ",");
}

int usage()
{
    fprintf(stderr, "usage: setupcheck FOLDER [--language ID | --all-languages] [--json]\n");
    return 3;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* folder = nullptr;
    bool allLanguages = false;
    bool json = false;
    unsigned language = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--all-languages") == 0 && !language) {
            allLanguages = true;
        } else if (strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (strcmp(argv[i], "--language") == 0 && i + 1 < argc && !allLanguages) {
            char* end = nullptr;
            language = unsigned(strtoul(argv[++i], &end, 16));
            if (*end || language == 0 || language > 0xFFFF)
                return usage();
        } else if (argv[i][0] != '-' && folder == nullptr) {
            folder = argv[i];
        } else {
            return usage();
        }
    }
    if (folder == nullptr)
        return usage();
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !formatText(setupPath, sizeof setupPath, "%s\\setup.exe", folder)) {
        fprintf(stderr, "setupcheck: %s is no folder that can be read\n", folder);
        return 3;
    }
    platform.GetModuleFileNameA = releaseFolderModulePath;
    traceSink = noteCause;
    setupValueSink = noteSetupValue;
    descriptorNodeSink = noteDescriptorNode;

    int count = allLanguages ? kLanguageCount : 1;
    reports = static_cast<Report*>(calloc(size_t(count), sizeof(Report)));
    if (reports == nullptr) {
        fprintf(stderr, "setupcheck: out of memory\n");
        return 3;
    }
    for (int i = 0; i < count; ++i)
        checkLanguage(folder, allLanguages ? kLanguages[i] : language, &reports[i]);
    if (allLanguages) {
        compareLanguages("version", "[RELEASE] VERSION", [](const Report& r) { return r.settings.productVersion; });
        compareLanguages("program folder", "[INIT] TARGET", [](const Report& r) { return r.settings.programFolder; });
        compareLanguages("search folders", "[INIT] DEFAULTSEARCH", [](const Report& r) { return r.searchFolders; });
        compareLanguages("download candidates", "[INIT] DOWNLOAD",
                         [](const Report& r) { return r.downloadCandidates; });
    }

    bool failed = false;
    bool warned = false;
    for (int i = 0; i < count; ++i) {
        failed |= reports[i].result != 0;
        warned |= warningCount(reports[i]) > 0;
    }
    int exitCode = failed ? 2 : warned ? 1 : 0;
    if (json) {
        printf("{\"folder\": ");
        printJsonString(folder);
        printf(", \"exitCode\": %d, \"languages\": [\n", exitCode);
        for (int i = 0; i < count; ++i)
            printJson(reports[i], i + 1 == count);
        printf("]}\n");
    } else {
        printf("release folder: %s\n", folder);
        for (int i = 0; i < count; ++i)
            printText(reports[i]);
    }
    return exitCode;
}
