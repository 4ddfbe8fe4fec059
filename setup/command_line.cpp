#include "setup/command_line.h"

#include "setupdata/run_flags.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The run-flag change of the option letter `letter`.
void applyOption(char letter, uint32_t* runFlags)
{
    switch (letter) {
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

// The one walk over the line: applies each option to `runFlags` and leaves in
// [`*logStart`, `*logEnd`) the untrimmed value of the last /L= option (both null
// when there is none). Quotes outside a /L= value only matter for the /L= after them.
void scanCommandLine(const char* line, uint32_t* runFlags, const char** logStart, const char** logEnd)
{
    *logStart = *logEnd = nullptr;
    bool quoted = false;
    for (const char* p = line; p && *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (*p != '/')
            continue;
        applyOption(p[1], runFlags);
        if ((p[1] != 'L' && p[1] != 'l') || p[2] != '=')
            continue;
        const char* value = p + 3;
        const char* end = value;
        if (quoted || *value == '"') {
            // Up to the closing quote; one that opened the value is part of it, one
            // that opened before the slash is left to the walk, which closes it.
            end = value + (quoted ? 0 : 1);
            while (*end && *end != '"')
                ++end;
            if (!quoted && *end)
                ++end;
        } else {
            for (; *end; ++end) {
                const char* next = end;
                while (isBlank(*next))
                    ++next;
                if (next != end && *next == '/')
                    break;
            }
        }
        *logStart = value;
        *logEnd = end;
        p = end - 1;  // the walk goes on right after the value
    }
}

}  // namespace

int parseCommandLine(const char* commandLine, uint32_t* runFlags)
{
    const char* logStart;
    const char* logEnd;
    scanCommandLine(commandLine, runFlags, &logStart, &logEnd);
    return 1;
}

int readLogPathOption(const char* commandLine, char* out, unsigned capacity)
{
    if (capacity == 0)
        return 0;
    out[0] = '\0';
    uint32_t ignored = 0;
    const char* start;
    const char* end;
    scanCommandLine(commandLine, &ignored, &start, &end);
    if (!start)
        return 0;
    while (start < end && isBlank(*start))
        ++start;
    while (end > start && isBlank(end[-1]))
        --end;
    if (start < end && *start == '"')
        ++start;
    if (end > start && end[-1] == '"')
        --end;
    if (start == end || unsigned(end - start) >= capacity)
        return 0;
    unsigned length = 0;
    for (; start + length < end; ++length)
        out[length] = start[length];
    out[length] = '\0';
    return 1;
}
