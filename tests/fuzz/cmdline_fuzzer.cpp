// Fuzz target of the command-line reader. The input up to its first NUL is the
// command line (the platform hands it over NUL-terminated). It is read from
// three starting words, and each result is compared with the rule: outside the
// values of "/L=" options, every '/' followed by F, H, L, O, R, S, U or W (either case)
// or '?' sets or clears that option's bit (H and '?' the help's), nothing else changes
// any bit, and the reader returns 1. A /L= value runs to its closing quote when the
// option stands in quotes or the value opens with one, else up to a blank (or several)
// followed by '/', or the end. The /L=path reader gives the last such value, trimmed,
// with a backslash for each '/', and is held to its buffer. A broken rule aborts.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "setup/command_line.h"
#include "setupdata/run_flags.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const uint32_t kOptionBits = kRunSilent | kRunWaitAndOpen | kRunNoShortcuts | kRunNoReport | kRunLog |
                               kRunRestartCode | kRunHelp;

// Where the value of a /L= option that starts at `at` ends, by the rule above.
size_t valueEnd(const char* line, size_t at, bool inQuotes)
{
    if (inQuotes || line[at] == '"') {
        size_t close = at + (inQuotes ? 0 : 1);
        while (line[close] && line[close] != '"')
            ++close;
        return line[close] && !inQuotes ? close + 1 : close;
    }
    size_t end = at;
    while (line[end]) {
        size_t next = end + strspn(line + end, " \t");
        if (next > end && line[next] == '/')
            break;
        end = next > end ? next : end + 1;
    }
    return end;
}

// The flags the command line should give from `start`, by the rule above, and the
// last /L= value in [*valueStart, *valueStop) (both 0 when none).
uint32_t expectedFlags(const char* commandLine, uint32_t start, size_t* valueStart, size_t* valueStop)
{
    uint32_t flags = start;
    bool inQuotes = false;
    *valueStart = *valueStop = 0;
    for (size_t i = 0; commandLine[i]; ++i) {
        if (commandLine[i] == '"')
            inQuotes = !inQuotes;
        if (commandLine[i] != '/')
            continue;
        if (commandLine[i + 1] == '?') {  // not lowered: 0x1F | 0x20 is '?' too
            flags |= kRunHelp;
            continue;
        }
        switch (commandLine[i + 1] | 0x20) {  // ASCII letters to lower case
        case 'f': flags |= kRunNoReport; break;
        case 'h': flags |= kRunHelp; break;
        case 'l': flags |= kRunLog; break;
        case 'o': flags |= kRunWaitAndOpen; break;
        case 'r': flags |= kRunRestartCode; break;
        case 's': flags |= kRunSilent; break;
        case 'u': flags &= ~uint32_t(kRunInstall); break;
        case 'w': flags |= kRunNoShortcuts; break;
        default: break;
        }
        if ((commandLine[i + 1] | 0x20) == 'l' && commandLine[i + 2] == '=') {
            *valueStart = i + 3;
            *valueStop = valueEnd(commandLine, i + 3, inQuotes);
            i = *valueStop - 1;
        }
    }
    return flags;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that a read past the terminator is caught.
    const uint8_t* nul = static_cast<const uint8_t*>(memchr(data, 0, size));
    size_t length = nul ? size_t(nul - data) : size;
    char* commandLine = static_cast<char*>(malloc(length + 1));
    require(commandLine != nullptr);
    memcpy(commandLine, data, length);
    commandLine[length] = '\0';

    const uint32_t starts[] = {kRunInstall, 0, 0xFFFFFFFFu, kRunInstall | kRunFreshInstall | 0x80000000u};
    size_t valueStart = 0;
    size_t valueStop = 0;
    for (uint32_t start : starts) {
        uint32_t flags = start;
        require(parseCommandLine(commandLine, &flags) == 1);
        require(flags == expectedFlags(commandLine, start, &valueStart, &valueStop));
        // Only the option bits can be set, only the install bit cleared.
        require((flags & ~start & ~kOptionBits) == 0);
        require((start & ~flags & ~uint32_t(kRunInstall)) == 0);
    }
    // The text is only read.
    require(memcmp(commandLine, data, length) == 0 && commandLine[length] == '\0');

    // The last /L= value without its blanks and its quotes at either end.
    while (valueStart < valueStop && strchr(" \t", commandLine[valueStart]) && commandLine[valueStart])
        ++valueStart;
    while (valueStop > valueStart && strchr(" \t", commandLine[valueStop - 1]))
        --valueStop;
    valueStart += valueStart < valueStop && commandLine[valueStart] == '"';
    valueStop -= valueStop > valueStart && commandLine[valueStop - 1] == '"';
    size_t expectedLength = valueStop - valueStart;

    // The log path is that value when it fits its buffer (an exact-size heap block, so
    // that an overrun is caught), and is empty when refused.
    const unsigned capacities[] = {1, 8, 260};
    for (unsigned capacity : capacities) {
        char* path = static_cast<char*>(malloc(capacity));
        require(path != nullptr);
        int found = readLogPathOption(commandLine, path, capacity);
        bool fits = expectedLength > 0 && expectedLength < capacity;
        require(found == (fits ? 1 : 0) && strlen(path) == (fits ? expectedLength : 0));
        for (size_t i = 0; fits && i < expectedLength; ++i) {
            char given = commandLine[valueStart + i];
            require(path[i] == (given == '/' ? '\\' : given));
        }
        free(path);
    }

    uint32_t untouched = kRunInstall;
    require(parseCommandLine(nullptr, &untouched) == 1 && untouched == kRunInstall);
    free(commandLine);
    return 0;
}
