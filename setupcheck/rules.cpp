#include "setupcheck/rules.h"

#include <windows.h>
#include <string.h>

#include "actions/file_plan.h"
#include "actions/files.h"
#include "actions/registry_records.h"
#include "actions/search_path.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "platform/whole_file.h"
#include "resources/resource.h"
#include "setupcheck/reading.h"
#include "setupdata/options.h"
#include "setupdata/run_flags.h"
#include "setupdata/settings.h"
#include "setupdata/setup_data.h"

namespace {

// Whether the names of `folder` (written under another folder) lead above that folder
// through "..": "A\..\B" stays inside, "..\B" and "A\..\..\B" leave it.
bool leavesItsParent(const char* folder)
{
    int depth = 0;
    for (const char* p = folder; *p;) {
        size_t name = strcspn(p, "\\");
        if (name == 2 && p[0] == '.' && p[1] == '.')
            --depth;
        else if (name > 0 && !(name == 1 && p[0] == '.'))
            ++depth;
        if (depth < 0)
            return true;
        p += name;
        if (*p == '\\')
            ++p;
    }
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

// Settings files that systems read in different ways: a byte-order mark that only
// Wine's profile reader takes for one, and UTF-16, which Windows 98 and Me do not read.
void checkEncoding(const char* path, const char* label)
{
#if defined(_WIN32)
    // The checker reads with this system's own reader: it answers for this system.
    (void)path;
    (void)label;
#else
    const WholeFile* file = wholeFile(path);
    const char* what = nullptr;
    if (file && file->encoding == kProfileUtf8Mark)
        what = "begins with a UTF-8 byte-order mark: Windows reads the file as bytes of its code page, the "
               "mark as three characters of the first line (read so here); Wine reads it as UTF-8";
    else if (file && file->encoding == kProfileUtf16Le)
        what = "is UTF-16: read here as the NT family reads it; Windows 98 and Me read no UTF-16 profile file "
               "(they take its bytes for text of the code page)";
    else if (file && file->encoding == kProfileUtf16Be)
        what = "is UTF-16 big-endian: read here as Wine reads it; not every Windows version's profile reader "
               "takes that byte-order mark";
    if (what == nullptr)
        return;
    char message[kMessageChars];
    const char* name = strrchr(path, '\\');
    formatText(message, sizeof message, "%s %s", name ? name + 1 : path, what);
    Source where;
    ZeroMemory(&where, sizeof where);
    copyText(where.label, sizeof where.label, label);
    copyText(where.file, sizeof where.file, path);
    where.line = 1;
    warnAt(message, &where);
#endif
}

// The attributes of the nearest of `path` and the folders it lies in that is there
// (INVALID_FILE_ATTRIBUTES when none is), with the number of names below it in `missing`.
DWORD nearestPresent(const char* path, int* missing)
{
    char level[kPathChars];
    *missing = 0;
    if (!copyText(level, sizeof level, path))
        return INVALID_FILE_ATTRIBUTES;
    for (;;) {
        DWORD attributes = GetFileAttributesA(level);
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return attributes;
        char* last = strrchr(level, '\\');
        if (last == nullptr || last[1] == '\0' || last < level + 2)
            return INVALID_FILE_ATTRIBUTES;
        ++*missing;
        // "C:\X" lies in "C:\", not in "C:" (the drive's current folder).
        last[last == level + 2 && level[1] == ':' ? 1 : 0] = '\0';
    }
}

// The source files that the copy takes from `folder`, and where they go. Checked also
// when the options step failed: a missing file is then the next error an author meets.
void planFiles(const char* folder, const InstallSettings& s, bool optionsRead)
{
    const char* const* sources;
    const char* const* targets;
    Places places;
    PathList installed;
    int count = deploymentFiles(descriptorMode, &sources, &targets);
    bool fits = optionsRead && findPlaces(places) && formInstalledPaths(places, s.programFolder, installed);
    for (int i = 0; i < count; ++i) {
        PlannedFile& file = current->files[current->fileCount++];
        file.source = sources[i];
        copyText(file.target, sizeof file.target, fits ? installed.paths[i] : targets[i]);
        // The shell's copy takes a name in any letter case, and a folder with all it holds.
        Source where;
        ZeroMemory(&where, sizeof where);
        formatText(where.file, sizeof where.file, "%s\\%s", folder, sources[i]);
        copyText(where.label, sizeof where.label, "source file");
        DWORD attributes = GetFileAttributesA(where.file);
        file.present = attributes != INVALID_FILE_ATTRIBUTES;
        char message[kMessageChars];
        if (!file.present) {
            addError("source file missing", &where);
            fail(IDS_PHASE_COPY_FILES);
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            formatText(message, sizeof message, "%s is a folder: it is installed as a folder with all it holds",
                       sources[i]);
            warnAt(message, &where);
        } else if (sizeOfFile(where.file) == 0) {
            formatText(message, sizeof message, "%s is empty: it is installed empty", sources[i]);
            warnAt(message, &where);
        }
    }
    int missing = 0;
    DWORD programFolder = optionsRead ? nearestPresent(s.programFolder, &missing) : INVALID_FILE_ATTRIBUTES;
    if (programFolder != INVALID_FILE_ATTRIBUTES && !(programFolder & FILE_ATTRIBUTE_DIRECTORY)) {
        traceCause(missing ? "the program folder lies in a file" : "the program folder is a file", s.programFolder);
        fail(IDS_PHASE_COPY_FILES);
    }
    if (optionsRead && !programFolderFits(s.programFolder)) {
        traceCause("the program folder is too long for the file paths", s.programFolder);
        fail(IDS_PHASE_COPY_FILES);
    }
}

// `path` with its "." and ".." names resolved as the system resolves them in a path it
// is given ("X\." is X, "X\Y\.." is X); a ".." at the root stays at the root.
void resolveDots(const char* path, char* out, size_t size)
{
    size_t root = path[0] && path[1] == ':' ? 2 : 0;
    copyText(out, size, path);
    out[root] = '\0';
    const char* p = path + root;
    while (*p) {
        size_t name = strcspn(p, "\\");
        if (name == 2 && p[0] == '.' && p[1] == '.') {
            char* last = strrchr(out + root, '\\');
            if (last)
                *last = '\0';
        } else if (name > 0 && !(name == 1 && p[0] == '.')) {
            size_t length = strlen(out);
            if (length + 1 + name < size) {
                out[length] = '\\';
                memcpy(out + length + 1, p, name);
                out[length + 1 + name] = '\0';
            }
        }
        p += name;
        if (*p == '\\')
            ++p;
    }
}

// The menu shortcut is saved into the menu folder, which the run makes as one folder:
// a GROUP of more levels than the machine has fails the save, and so does one that
// is, or lies in, a file.
void planMenuFolder(const InstallSettings& s)
{
    char folder[kPathChars];
    resolveDots(s.menuFolder, folder, sizeof folder);
    int missing = 0;
    DWORD present = nearestPresent(folder, &missing);
    bool inFolder = present != INVALID_FILE_ATTRIBUTES && (present & FILE_ATTRIBUTE_DIRECTORY);
    if (inFolder && missing <= 1)
        return;  // there, or made by the run
    if (present != INVALID_FILE_ATTRIBUTES && !inFolder) {
        traceCause(missing ? "the menu folder lies in a file" : "the menu folder is a file", s.menuFolder);
        fail(IDS_PHASE_SHORTCUTS);
        return;
    }
    traceCause("the menu folder lies in a folder that is not there (the run makes one level of [INIT] GROUP)",
               s.menuFolder);
#if !defined(_WIN32)
    // The stand-in has what a fresh Windows has; another machine may hold the parent.
    char parent[kPathChars];
    copyText(parent, sizeof parent, folder);
    char* last = strrchr(parent, '\\');
    if (last)
        *last = '\0';
    char message[kMessageChars];
    formatText(message, sizeof message,
               "the menu folder lies in %s, which a fresh Windows does not have; the run makes one level of "
               "[INIT] GROUP, so its shortcut is saved (else 000B) only on a machine that has that folder",
               parent);
    warn(message, "[INIT] GROUP");
    current->dependsOnMachine |= current->result == 0;  // when this failure decides the result
#endif
    fail(IDS_PHASE_SHORTCUTS);
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
    // Every value of the uninstall entry, in the writer's order.
    char command[kPathChars];
    char icon[kPathChars];
    char quiet[kPathChars];
    char windows[kPathChars] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    formatText(command, sizeof command, "%s /U", targets[0]);
    formatText(icon, sizeof icon, "%s\\%s,0", windows, targets[0]);
    formatText(quiet, sizeof quiet, "\"%s\\%s\" /S /U", windows, targets[0]);
    const char* entry[kEntryValueCount] = {};
    entry[kEntryDisplayName] = s.productName;
    entry[kEntryUninstallString] = command;
    entry[kEntryDisplayIcon] = icon;
    entry[kEntryDisplayVersion] = s.productVersion;
    entry[kEntryPublisher] = kPublisher;
    entry[kEntryInstallLocation] = s.programFolder;
    entry[kEntryEstimatedSize] = "(kilobytes of the installed files)";
    entry[kEntryQuietUninstallString] = quiet;
    entry[kEntryNoModify] = "1";
    entry[kEntryNoRepair] = "1";
    entry[kEntryInstallDate] = "(the day of the installation, YYYYMMDD)";
    entry[kEntryVersionMajor] = "(the version's first number)";
    entry[kEntryVersionMinor] = "(the version's second number)";
    for (int i = 0; i < kEntryValueCount; ++i)
        addRecord(kUninstallKeyPath, kUninstallEntryValues[i], entry[i] ? entry[i] : "");

    readDefaultSearch(current->searchFolders);
    // Each piece of the list as the run splits it; empty pieces are skipped.
    char folders[sizeof current->searchFolders];
    copyText(folders, sizeof folders, current->searchFolders);
    const char* end = folders + strlen(folders);
    splitList(folders);
    for (char* folder = folders; folder; folder = nextPiece(folder, end)) {
        char key[kPathChars];
        if (!*folder) {
            continue;
        } else if (!searchFolderKey(folder, key)) {
            traceCause("the search folder is too long for its registry key", folder);
            fail(IDS_PHASE_REGISTRY);
        } else {
            addRecord(key, "(key)", "");
        }
    }
    readDownloadFolders(current->downloadCandidates);
}

// A value of one language that differs where all the other languages agree.
template <typename Field>
void compareField(Report* reports, int count, const char* what, const char* label, Field field)
{
    for (int i = 0; i < count; ++i) {
        if (!reports[i].optionsRead)
            continue;
        const char* agreed = nullptr;
        int others = 0;
        bool agree = true;
        for (int j = 0; j < count && agree; ++j) {
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

}  // namespace

void checkLanguage(const char* folder, unsigned language, Report* report)
{
    current = report;
    ZeroMemory(report, sizeof *report);
    report->step = IDS_PHASE_INITIALIZATION;
    report->language = language ? language : GetSystemDefaultLangID();
    if (!setupDataReadable(folder)) {
        fail(IDS_PHASE_INITIALIZATION);
        return;
    }
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
    checkEncoding(settingsFilePath, "ZemSetup.dat");
    if (!descriptorMode)
        checkEncoding(releaseFilePath, "PkgMgr.zem");
    int32_t cancelled = 0;
    // Silent: the options step reads what the dialog would preset and shows nothing.
    if (!runOptionsStep(&cancelled, &s, report->previousVersion, kRunInstall | kRunSilent))
        fail(IDS_PHASE_INITIALIZATION);
    report->optionsRead = report->result == 0;
    if (report->optionsRead) {
        const char* target = descriptorMode ? nullptr : "[INIT] TARGET";
        // The options step resolves "..": the warning looks at TARGET as written, which
        // a fresh installation puts under the program-files folder.
        const Source* written = sourceLabelled("[INIT] TARGET");
        if ((s.runFlags & kRunFreshInstall) && written && leavesItsParent(written->text))
            warn("the program folder lies outside the program-files folder (\"..\")", target);
        // GROUP is written under the Programs folder, or with a leading "\\" under the
        // Start menu; one that begins with "." is the Programs folder whatever follows.
        const Source* group = sourceLabelled("[INIT] GROUP");
        if (group && group->text[0] != '.' && leavesItsParent(group->text))
            warn("the menu folder lies outside the Programs folder (\"..\")", "[INIT] GROUP");
        if (!hasVersionForm(s.productVersion))
            warn("the version is not of the form x.yy.zzzz", descriptorMode ? "VERSION" : "[RELEASE] VERSION");
    }
    // Each later step is checked although an earlier one failed, so that the report
    // lists every error; the first failure stays the result.
    report->step = IDS_PHASE_COPY_FILES;
    planFiles(folder, s, report->optionsRead);
    if (report->optionsRead) {
        report->step = IDS_PHASE_SHORTCUTS;
        planMenuFolder(s);
        report->step = IDS_PHASE_REGISTRY;
        planRecords(s);
    }
    releaseSetupData();
}

void compareLanguages(Report* reports, int count)
{
    compareField(reports, count, "version", "[RELEASE] VERSION", [](const Report& r) { return r.settings.productVersion; });
    compareField(reports, count, "program folder", "[INIT] TARGET", [](const Report& r) { return r.settings.programFolder; });
    compareField(reports, count, "search folders", "[INIT] DEFAULTSEARCH", [](const Report& r) { return r.searchFolders; });
    compareField(reports, count, "download candidates", "[INIT] DOWNLOAD",
                 [](const Report& r) { return r.downloadCandidates; });
}
