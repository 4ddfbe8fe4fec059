#include "setup/command_line.h"

#include "setupdata/run_flags.h"

int parseCommandLine(const char* commandLine, uint32_t* runFlags)
{
    if (commandLine == nullptr)
        return 1;
    for (const char* p = commandLine; *p; ++p) {
        if (*p != '/')
            continue;
        switch (p[1]) {
        case 'F':
        case 'f':
            *runFlags |= kRunNoReport;
            break;
        case 'L':
        case 'l':
            *runFlags |= kRunLog;
            break;
        case 'O':
        case 'o':
            *runFlags |= kRunWaitAndOpen;
            break;
        case 'R':
        case 'r':
            *runFlags |= kRunRestartCode;
            break;
        case 'S':
        case 's':
            *runFlags |= kRunSilent;
            break;
        case 'U':
        case 'u':
            *runFlags &= ~uint32_t(kRunInstall);
            break;
        case 'W':
        case 'w':
            *runFlags |= kRunNoShortcuts;
            break;
        default:  // other letters, blanks, an empty option: ignored
            break;
        }
    }
    return 1;
}
