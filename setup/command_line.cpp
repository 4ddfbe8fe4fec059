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
        case '?':
        case 'H':
        case 'h':  // /?, /h, /help
            *runFlags |= kRunHelp;
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

int readLogPathOption(const char* commandLine, char* out, unsigned capacity)
{
    if (capacity == 0)
        return 0;
    out[0] = '\0';
    const char* start = nullptr;
    const char* end = nullptr;
    for (const char* p = commandLine; p && *p; ++p) {
        if (p[0] != '/' || (p[1] != 'L' && p[1] != 'l') || p[2] != '=')
            continue;
        start = p + 3;
        for (end = start; *end && *end != '/'; ++end) {
        }
    }
    if (!start)
        return 0;
    while (start < end && (*start == ' ' || *start == '\t'))
        ++start;
    while (end > start && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (end - start >= 2 && *start == '"' && end[-1] == '"') {
        ++start;
        --end;
    }
    if (start == end || unsigned(end - start) >= capacity)
        return 0;
    unsigned length = 0;
    for (; start + length < end; ++length)
        out[length] = start[length];
    out[length] = '\0';
    return 1;
}
