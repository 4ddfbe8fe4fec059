// Whole setup-data files, read the way a checker of folders from others must read
// them: each file once, regular files only, up to a size that no real setup data
// reaches, and once a folder is named, only files that lie inside it.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Real setup data holds kilobytes (a value holds at most 260 characters); the tests
// install a 4 MB descriptor. A file past this is no setup data.
enum { kWholeFileLimit = 16 * 1024 * 1024 };

enum WholeFileStatus {
    kWholeFileRead,
    kWholeFileMissing,
    kWholeFileOutside,     // a link that leads out of the folder
    kWholeFileNotRegular,  // a FIFO, a device, a socket, a folder
    kWholeFileTooLarge,
    kWholeFileUnreadable,
};

// How a profile file's bytes are to be read, by its byte-order mark.
enum ProfileEncoding { kProfileAnsi, kProfileUtf8Mark, kProfileUtf16Le, kProfileUtf16Be };

struct WholeFile {
    WholeFileStatus status;
    uint64_t size;  // bytes read; for kWholeFileTooLarge the size found
    char* bytes;    // `size` bytes and two zero bytes behind them; null unless read
    ProfileEncoding encoding;
    char* profileText;  // a UTF-16 file converted: see profileTextOf
    size_t profileLength;
};

// Confines the reads from now on to files that lie in `folder`.
void confineWholeFiles(const char* folder);

// The file at `path`, read on the first call and kept for the rest of the process:
// later calls for the same path give the same record, whatever became of the file.
const WholeFile* wholeFile(const char* path);

// Why a file was not read, as a phrase ("is a link that leads out of the folder");
// the size is named by the caller.
const char* wholeFileRefusal(WholeFileStatus status);

// The text of a profile file in the system's code page, as its profile reader reads
// it: a UTF-16 file (little or big endian) that begins with its byte-order mark is
// converted, other files are taken byte for byte (a UTF-8 mark too: Windows reads it
// as three characters of the first line). "" when the file was not read. The text
// may hold NUL bytes: profileLengthOf gives its length.
const char* profileTextOf(const WholeFile* file);
size_t profileLengthOf(const WholeFile* file);

// The size of the file at `path` without reading it; -1 when there is none or it is a
// folder. Implemented by each system.
int64_t sizeOfFile(const char* path);

// Whether the entries of `folder` can be listed (a folder without the right to read
// it cannot); implemented by each system.
bool folderListable(const char* folder);

// For the implementation of each system (whole_file.cpp on Windows, host/files.cpp
// elsewhere): reads `path` into `file` under the rules above, `folder` null for no
// confinement; and converts UTF-16 `units` into the code page, in a block from
// malloc (unconvertible characters become the system's default character), its
// length in `length`.
void readRegularFile(const char* path, const char* folder, WholeFile* file);
char* unicodeToCodePage(const uint16_t* units, size_t count, size_t* length);
