// setupcheck: reads a release folder as setup.exe would, with setup.exe's own code,
// and says what an installation would read, do and end with.
//
//   setupcheck FOLDER [--language ID | --all-languages] [--json] [--code-page CP]
//
// ID is a language id in hex (0407); the default is this machine's (English where
// there is no Windows). CP (not on Windows, where the system's counts) is the code
// page whose double-byte characters paths are split by: 1252 (the default), 932,
// 936, 949 or 950; --all-languages checks the fourteen languages of setup.exe's
// own texts one after another. Exit code: 0 when the installation would succeed (in
// every language checked), 1 when it would succeed with warnings (what installs but
// is probably not meant), 2 when it would fail, 3 when FOLDER is no folder that can
// be read.
//
// The report model and its hooks are in report.h and places.cpp, what is read of the
// folder in reading.cpp, the rules of the run in rules.cpp, the outputs in printers.cpp.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/whole_file.h"
#include "setupcheck/printers.h"
#include "setupcheck/reading.h"
#include "setupcheck/report.h"
#include "setupcheck/rules.h"

namespace {

// The languages of setup.exe's string tables.
const unsigned kLanguages[] = {0x0409, 0x0406, 0x0407, 0x0C0A, 0x040B, 0x040C, 0x0410,
                               0x0411, 0x0412, 0x0413, 0x0414, 0x041D, 0x0804, 0x0404};
const int kLanguageCount = int(sizeof kLanguages / sizeof kLanguages[0]);

char setupPath[kPathChars];  // FOLDER\setup.exe: the program the checker stands in for

DWORD WINAPI releaseFolderModulePath(HMODULE, LPSTR path, DWORD size)
{
    copyText(path, size, setupPath);
    return DWORD(boundedLength(path, size));
}

int usage()
{
    fprintf(stderr, "usage: setupcheck FOLDER [--language ID | --all-languages] [--json]%s\n",
#if defined(_WIN32)
            "");
#else
            " [--code-page CP]");
#endif
    return 3;
}

}  // namespace

int main(int argc, char** argv)
{
    // Errors of drives without media come back as errors, never as a system box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
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
#if !defined(_WIN32)
        } else if (strcmp(argv[i], "--code-page") == 0 && i + 1 < argc) {
            char* end = nullptr;
            unsigned codePage = unsigned(strtoul(argv[++i], &end, 10));
            if (*end || !setPathCodePage(codePage))
                return usage();
#endif
        } else if (argv[i][0] != '-' && folder == nullptr) {
            folder = argv[i];
        } else {
            return usage();
        }
    }
    if (folder == nullptr)
        return usage();
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) || !folderListable(folder) ||
        !formatText(setupPath, sizeof setupPath, "%s\\setup.exe", folder)) {
        fprintf(stderr, "setupcheck: the release folder is no folder that can be read\n");
        return 3;
    }
    platform.GetModuleFileNameA = releaseFolderModulePath;
    collectFindings();
    readOnlyInside(folder);

    int count = allLanguages ? kLanguageCount : 1;
    // From the heap: about 100 KB each, and zero-filled statics land in the image.
    Report* reports = static_cast<Report*>(calloc(size_t(count), sizeof(Report)));
    if (reports == nullptr) {
        fprintf(stderr, "setupcheck: out of memory\n");
        return 3;
    }
    for (int i = 0; i < count; ++i)
        checkLanguage(folder, allLanguages ? kLanguages[i] : language, &reports[i]);
    if (allLanguages)
        compareLanguages(reports, count);

    bool failed = false;
    bool warned = false;
    for (int i = 0; i < count; ++i) {
        failed |= reports[i].result != 0;
        warned |= warningCount(reports[i]) > 0;
    }
    int exitCode = failed ? 2 : warned ? 1 : 0;
    if (json)
        printJsonReport(folder, exitCode, reports, count);
    else
        printTextReport(folder, reports, count);
    free(reports);
    return exitCode;
}
