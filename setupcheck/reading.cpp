#include "setupcheck/reading.h"

#include <stdint.h>
#include <string.h>

#include "platform/system.h"
#include "platform/text.h"
#include "platform/whole_file.h"
#include "setupcheck/report.h"

namespace {

// The setup data files that the setup reads whole or through the profile reader.
const char* const kSetupDataFiles[] = {"ZemSetup.dat", "PkgMgr.zem", "QUVOZEM.xml"};

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

}  // namespace

void readOnlyInside(const char* folder)
{
    confineWholeFiles(folder);
}

bool setupDataReadable(const char* folder)
{
    bool readable = true;
    for (const char* name : kSetupDataFiles) {
        char path[kPathChars];
        if (!fileInFolder(folder, name, path))
            continue;  // a missing file is the setup's own finding
        const WholeFile* file = wholeFile(path);
        if (file && file->status == kWholeFileRead)
            continue;
        char size[24] = "";
        char message[kMessageChars];
        decimal(file ? file->size : 0, size, sizeof size);
        if (file && file->status == kWholeFileTooLarge)
            formatText(message, sizeof message, "%s is not read: it %s: %s bytes", name, wholeFileRefusal(file->status), size);
        else
            formatText(message, sizeof message, "%s is not read: it %s", name,
                       wholeFileRefusal(file ? file->status : kWholeFileUnreadable));
        Source where;
        memset(&where, 0, sizeof where);
        copyText(where.file, sizeof where.file, path);
        copyText(where.label, sizeof where.label, name);
        addError(message, &where);
        readable = false;
    }
    return readable;
}
