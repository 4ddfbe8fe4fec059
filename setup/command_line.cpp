#include "setup/command_line.h"

#include "setupdata/run_flags.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The run-flag change of the option letter `letter` (either case); other letters,
// blanks and an empty option change nothing.
void applyOption(char letter, uint32_t* runFlags)
{
    static const struct {
        char letter;
        uint32_t bit;
    } kOptions[] = {{'F', kRunNoReport}, {'H', kRunHelp},        {'?', kRunHelp},   {'L', kRunLog},
                    {'O', kRunWaitAndOpen}, {'R', kRunRestartCode}, {'S', kRunSilent}, {'W', kRunNoShortcuts}};
    char upper = letter >= 'a' && letter <= 'z' ? char(letter - 'a' + 'A') : letter;
    if (upper == 'U')
        *runFlags &= ~uint32_t(kRunInstall);
    for (const auto& option : kOptions) {
        if (option.letter == upper)
            *runFlags |= option.bit;
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
    // Windows takes '/' for '\\' in a path; the log's checks of the path read '\\' alone.
    for (; start + length < end; ++length)
        out[length] = start[length] == '/' ? '\\' : start[length];
    out[length] = '\0';
    return 1;
}
