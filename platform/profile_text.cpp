#include "platform/profile_text.h"

#include <string.h>

namespace {

struct Span {
    const char* begin;
    const char* end;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

Span trim(Span text)
{
    while (text.begin < text.end && isBlank(*text.begin))
        ++text.begin;
    while (text.end > text.begin && isBlank(text.end[-1]))
        --text.end;
    return text;
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameName(Span name, const char* wanted)
{
    size_t length = strlen(wanted);
    if (size_t(name.end - name.begin) != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (lower(name.begin[i]) != lower(wanted[i]))
            return false;
    }
    return true;
}

uint32_t copyOut(Span text, char* out, uint32_t size)
{
    if (size == 0)
        return 0;
    size_t length = size_t(text.end - text.begin);
    if (length > size - 1)
        length = size - 1;
    memcpy(out, text.begin, length);
    out[length] = '\0';
    return uint32_t(length);
}

// Finds the value of `key` in the first section named `section` and the number of
// its line; a null `key` finds the section's heading.
bool findValue(const char* text, const char* section, const char* key, Span* value, int* lineNumber = nullptr)
{
    bool inSection = false;
    int number = 0;
    for (const char* line = text; *line;) {
        ++number;
        const char* newline = strchr(line, '\n');
        const char* lineEnd = newline ? newline : line + strlen(line);
        Span whole = trim({line, lineEnd});
        line = newline ? newline + 1 : lineEnd;
        if (whole.begin == whole.end || *whole.begin == ';')
            continue;
        if (*whole.begin == '[') {
            if (inSection)
                return false;  // only the first section of the name is searched
            const char* close = static_cast<const char*>(memchr(whole.begin, ']', size_t(whole.end - whole.begin)));
            inSection = sameName(trim({whole.begin + 1, close ? close : whole.end}), section);
            if (inSection && key == nullptr) {
                if (lineNumber)
                    *lineNumber = number;
                return true;
            }
            continue;
        }
        const char* equals = static_cast<const char*>(memchr(whole.begin, '=', size_t(whole.end - whole.begin)));
        if (!inSection || equals == nullptr)
            continue;
        if (sameName(trim({whole.begin, equals}), key)) {
            *value = trim({equals + 1, whole.end});
            if (lineNumber)
                *lineNumber = number;
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t readProfileText(const char* section, const char* key, const char* defaultText,
                         char* out, uint32_t size, const char* file)
{
    Span value;
    if (section && key && file && findValue(file, section, key, &value)) {
        size_t length = size_t(value.end - value.begin);
        if (length >= 2 && (*value.begin == '"' || *value.begin == '\'') && value.end[-1] == *value.begin) {
            ++value.begin;
            --value.end;
        }
        return copyOut(value, out, size);
    }
    if (defaultText == nullptr)
        defaultText = "";
    Span fallback = {defaultText, defaultText + strlen(defaultText)};
    while (fallback.end > fallback.begin && (fallback.end[-1] == ' ' || fallback.end[-1] == '\t'))
        --fallback.end;
    return copyOut(fallback, out, size);
}

int profileTextLine(const char* text, const char* section, const char* key)
{
    Span value;
    int number = 0;
    return text && section && findValue(text, section, key, &value, &number) ? number : 0;
}
