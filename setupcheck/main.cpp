// setupcheck: reads a release folder as setup.exe would, with setup.exe's own code,
// and says what an installation on this machine would read, do and end with.
//
//   setupcheck FOLDER [--language ID | --all-languages]
//
// ID is a language id in hex (0407); the default is this machine's; --all-languages
// checks the fourteen languages of setup.exe's own texts one after another. Exit code:
// 0 when the installation would succeed (in every language checked), 1 when it would
// succeed with warnings (what installs but is probably not meant), 2 when it would
// fail, 3 when FOLDER is no folder.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "actions/files.h"
#include "actions/search_path.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "resources/resource.h"
#include "setupdata/install_settings.h"
#include "setupdata/options.h"
#include "setupdata/run_flags.h"
#include "setupdata/settings.h"
#include "setupdata/setup_data.h"

namespace {

char setupPath[kPathChars];  // FOLDER\setup.exe: the program the checker stands in for

DWORD WINAPI releaseFolderModulePath(HMODULE, LPSTR path, DWORD size)
{
    copyText(path, size, setupPath);
    return DWORD(boundedLength(path, size));
}

// The causes setup.exe would write to the debugger output.
void printCause(const char* line)
{
    printf("  cause: %s\n", line);
}

// What the run would end with: the first failing step decides.
int result = 0;

void fail(int code)
{
    if (result == 0)
        result = code;
}

int warnings = 0;

void warn(const char* what, const char* subject)
{
    printf("  warning: %s: %s\n", what, subject);
    ++warnings;
}

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

void checkFiles(const char* folder, const InstallSettings& s)
{
    const char* const* sources;
    const char* const* targets;
    int count = deploymentFiles(descriptorMode, &sources, &targets);
    printf("files:\n");
    for (int i = 0; i < count; ++i) {
        char found[kPathChars];
        bool there = fileInFolder(folder, sources[i], found) != 0;
        printf("  %s -> %s\\%s%s\n", sources[i], i == 0 ? "(Windows folder)" : s.programFolder, targets[i],
               there ? "" : "   (missing)");
        if (!there) {
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

void checkRecords(const InstallSettings& s)
{
    char list[kPathChars] = "";
    readDefaultSearch(list);
    printf("search folders: %s\n", list);
    forEachPiece(list, [](const char* folder) {
        char key[kPathChars];
        if (!searchFolderKey(folder, key)) {
            traceCause("the search folder is too long for its registry key", folder);
            fail(IDS_PHASE_REGISTRY);
        }
    });
    char downloads[kPathChars] = "";
    readDownloadFolders(downloads);
    printf("download candidates: %s\n", downloads);
    printf("internet function: %d, browser button: %s\n", int(s.internetFunction),
           s.browserButton ? "yes" : "no");
}

// One installation in `language` (0: this machine's). Returns its result code.
int checkLanguage(const char* folder, uint16_t language)
{
    result = 0;
    int located = locateSetupData(GetModuleHandleA(nullptr), kRunInstall);
    if (language) {
        systemProfile.language = language;
        systemProfile.primaryLanguage = language & 0x3FF;
    }
    printf("language: %04X\n", unsigned(systemProfile.language));
    static InstallSettings settings;
    ZeroMemory(&settings, sizeof settings);
    if (!located) {
        fail(IDS_PHASE_INITIALIZATION);
    } else {
        printf("mode: %s (%s)\n", descriptorMode ? "descriptor" : "settings file", releaseFilePath);
        int32_t cancelled = 0;
        char previousVersion[kPathChars] = "";
        // Silent: the options step reads what the dialog would preset and shows nothing.
        if (!runOptionsStep(&cancelled, &settings, previousVersion, kRunInstall | kRunSilent))
            fail(IDS_PHASE_INITIALIZATION);
        printf("release: %s, version %s\n", settings.productName, settings.productVersion);
        if (previousVersion[0])
            printf("installed now: %s, version %s\n", settings.previousName, previousVersion);
        printf("program folder: %s\n", settings.programFolder);
        printf("menu folder: %s\n", settings.menuFolder);
        if (result == 0) {
            if (leavesItsParent(settings.programFolder))
                warn("the program folder lies outside the program-files folder (\"..\")", settings.programFolder);
            if (leavesItsParent(settings.menuFolder))
                warn("the menu folder lies outside the Programs folder (\"..\")", settings.menuFolder);
            if (!hasVersionForm(settings.productVersion))
                warn("the version is not of the form x.yy.zzzz", settings.productVersion);
            printf("menu shortcut: %s -> %s\n", settings.menuShortcut, settings.programPath);
            checkFiles(folder, settings);
            checkRecords(settings);
        }
        releaseSetupData();
    }
    printf("result: %04X\n", unsigned(result));
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    bool allLanguages = argc == 3 && strcmp(argv[2], "--all-languages") == 0;
    bool oneLanguage = argc == 4 && strcmp(argv[2], "--language") == 0;
    if (argc < 2 || argc > 4 || (argc > 2 && !allLanguages && !oneLanguage)) {
        fprintf(stderr, "usage: setupcheck FOLDER [--language ID | --all-languages]\n");
        return 3;
    }
    const char* folder = argv[1];
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !formatText(setupPath, sizeof setupPath, "%s\\setup.exe", folder)) {
        fprintf(stderr, "setupcheck: %s is no folder that can be read\n", folder);
        return 3;
    }
    platform.GetModuleFileNameA = releaseFolderModulePath;
    traceSink = printCause;

    printf("release folder: %s\n", folder);
    if (!allLanguages) {
        if (checkLanguage(folder, oneLanguage ? uint16_t(strtoul(argv[3], nullptr, 16)) : 0))
            return 2;
        return warnings ? 1 : 0;
    }
    // The languages of setup.exe's string tables.
    static const uint16_t kLanguages[] = {0x0409, 0x0406, 0x0407, 0x0C0A, 0x040B, 0x040C, 0x0410,
                                          0x0411, 0x0412, 0x0413, 0x0414, 0x041D, 0x0804, 0x0404};
    int failed = 0;
    for (uint16_t language : kLanguages) {
        printf("\n");
        failed |= checkLanguage(folder, language);
    }
    return failed ? 2 : warnings ? 1 : 0;
}
