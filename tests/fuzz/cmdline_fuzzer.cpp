// Fuzz target of the command-line reader. The input up to its first NUL is the
// command line (the platform hands it over NUL-terminated). It is read from
// three starting words, and each result is compared with the rule: every '/'
// followed by F, H, L, O, R, S, U or W (either case) or '?' sets or clears that
// option's bit (H and '?' the help's), nothing else changes any bit, and the reader
// returns 1. The /L=path reader is held to its buffer. A broken rule aborts.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "setup/command_line.h"
#include "setupdata/run_flags.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const uint32_t kOptionBits = kRunSilent | kRunWaitAndOpen | kRunNoShortcuts | kRunNoReport | kRunLog |
                               kRunRestartCode | kRunHelp;

// The flags the command line should give from `start`, by the rule above.
uint32_t expectedFlags(const char* commandLine, uint32_t start)
{
    uint32_t flags = start;
    for (size_t i = 0; commandLine[i]; ++i) {
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
    for (uint32_t start : starts) {
        uint32_t flags = start;
        require(parseCommandLine(commandLine, &flags) == 1);
        require(flags == expectedFlags(commandLine, start));
        // Only the option bits can be set, only the install bit cleared.
        require((flags & ~start & ~kOptionBits) == 0);
        require((start & ~flags & ~uint32_t(kRunInstall)) == 0);
    }
    // The text is only read.
    require(memcmp(commandLine, data, length) == 0 && commandLine[length] == '\0');

    // The log path fits its buffer (an exact-size heap block, so that an overrun is
    // caught), is a piece of the line, and is empty when refused.
    const unsigned capacities[] = {1, 8, 260};
    for (unsigned capacity : capacities) {
        char* path = static_cast<char*>(malloc(capacity));
        require(path != nullptr);
        int found = readLogPathOption(commandLine, path, capacity);
        require(strlen(path) < capacity && (found ? path[0] != '\0' && strstr(commandLine, path) : path[0] == '\0'));
        free(path);
    }

    uint32_t untouched = kRunInstall;
    require(parseCommandLine(nullptr, &untouched) == 1 && untouched == kRunInstall);
    free(commandLine);
    return 0;
}
