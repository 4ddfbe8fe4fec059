// What one installation in one language would read, do and end with: the checker's
// report and the functions that fill it.
#pragma once
#include "actions/file_plan.h"
#include "platform/text.h"
#include "setupdata/install_settings.h"

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
    int result;  // errors: the result code of the step that fails on it
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
    int result;  // the first failing step in the run's order decides
    bool dependsOnMachine;  // the Linux build: another machine than the stand-in may end otherwise
    int step;    // the result code of the step being checked: its errors carry it
};

// The report being filled.
extern Report* current;

Source* newSource(const char* label);
Source* sourceLabelled(const char* label);
// The source whose label the text names, else the one with the longest text it holds.
const Source* sourceNamedIn(const char* text);

// An error of the step being checked.
void addError(const char* message, const Source* where);
// The run fails in the step of result code `code`; the first failure decides.
void fail(int code);
// A warning placed where the value of `sourceLabel` came from, or at `where`.
void warn(const char* message, const char* sourceLabel);
void warnAt(const char* message, const Source* where);
void addRecord(const char* key, const char* name, const char* value);
int warningCount(const Report& report);

// The hooks of the setup's layers that fill the current report: the values read and
// their places, and the causes of failures (places.cpp).
void collectFindings();
// The whole of a setup data file as the profile reader sees it, for line numbers.
const char* fileText(const char* path);
size_t fileLength(const char* path);
