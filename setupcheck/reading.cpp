#include "setupcheck/reading.h"

#include <stdint.h>
#include <string.h>

#include "platform/system.h"
#include "platform/text.h"
#include "platform/whole_file.h"
#include "setupcheck/report.h"
#include "setupdata/setup_data.h"

namespace {

const char kSettingsFile[] = "ZemSetup.dat";
const char kReleaseFile[] = "PkgMgr.zem";
const char kDescriptorFile[] = "QUVOZEM.xml";

// `size` in decimal: sizes past 4 GB do not fit the formatter's numbers.
void decimal(uint64_t size, char* out, size_t capacity)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + size % 10);
        size /= 10;
    } while (size && count < 23);
    size_t length = 0;
    while (count > 0 && length + 1 < capacity)
        out[length++] = digits[--count];
    out[length] = '\0';
}

// Whether the setup data file `name` at `path` is read; an error placed at the file when not.
bool accepted(const char* path, const char* name)
{
    const WholeFile* file = wholeFile(path);
    if (file && file->status == kWholeFileRead)
        return true;
    char size[24] = "";
    char message[kMessageChars];
    decimal(file ? file->size : 0, size, sizeof size);
    if (file && file->status == kWholeFileTooLarge)
        formatText(message, sizeof message, "%s is not read: it %s: %s bytes", name, wholeFileRefusal(file->status),
                   size);
    else
        formatText(message, sizeof message, "%s is not read: it %s", name,
                   wholeFileRefusal(file ? file->status : kWholeFileUnreadable));
    Source where;
    memset(&where, 0, sizeof where);
    copyText(where.file, sizeof where.file, path);
    copyText(where.label, sizeof where.label, name);
    addError(message, &where);
    return false;
}

}  // namespace

void readOnlyInside(const char* folder)
{
    confineWholeFiles(folder);
}

bool setupDataReadable(const char* folder)
{
    char path[kPathChars];
    bool readable = true;
    if (fileInFolder(folder, kSettingsFile, path))
        readable &= accepted(path, kSettingsFile);
    else
        return true;  // the setup stops before it reads anything: its own finding
    // The descriptor is read only where no release file names a release.
    bool releaseFile = fileInFolder(folder, kReleaseFile, path);
    if (releaseFile && !accepted(path, kReleaseFile))
        return false;
    if ((!releaseFile || !isUsableReleaseFile(path)) && fileInFolder(folder, kDescriptorFile, path))
        readable &= accepted(path, kDescriptorFile);
    return readable;
}
