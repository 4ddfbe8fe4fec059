#include "platform/profile_text.h"

#include <string.h>

namespace {

struct Span {
    const char* begin;
    const char* end;
};

// The bytes that the system's profile reader drops around lines, names and values.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1a';
}

Span trim(Span text)
{
    while (text.begin < text.end && isBlank(*text.begin))
        ++text.begin;
    while (text.end > text.begin && isBlank(text.end[-1]))
        --text.end;
    return text;
}

// A name ends at a NUL byte: the system compares names as C strings.
Span upToNul(Span text)
{
    const void* nul = memchr(text.begin, '\0', size_t(text.end - text.begin));
    if (nul)
        text.end = static_cast<const char*>(nul);
    return text;
}

// Names compare without regard to the case of ASCII letters only: the system's reader
// tells "\xC9" from "\xE9".
unsigned char lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + 0x20) : c;
}

bool sameName(Span name, Span wanted)
{
    if (name.end - name.begin != wanted.end - wanted.begin)
        return false;
    for (const char *a = name.begin, *b = wanted.begin; a < name.end; ++a, ++b) {
        if (lower((unsigned char)*a) != lower((unsigned char)*b))
            return false;
    }
    return true;
}

Span nameOf(const char* text)
{
    return trim({text, text + strlen(text)});
}

// The next line of `text` (without its line end) from `*at`, and the number of line
// ends passed, CR LF counting once; false at the end.
bool nextLine(Span text, const char** at, Span* line, int* ends)
{
    if (*at >= text.end)
        return false;
    const char* p = *at;
    while (p < text.end && *p != '\r' && *p != '\n')
        ++p;
    *line = {*at, p};
    *ends = 0;
    if (p < text.end) {
        *ends = 1;
        p += (*p == '\r' && p + 1 < text.end && p[1] == '\n') ? 2 : 1;
    }
    *at = p;
    return true;
}

struct Found {
    bool value;  // a key line with "="
    Span text;
    int line;
};

// Finds `key` in the first section named `section` (a null `key`: the section's
// heading) as the system's reader does.
bool findKey(Span text, const char* section, const char* key, Found* found)
{
    Span wantedSection = nameOf(section);
    Span wantedKey = key ? nameOf(key) : Span{nullptr, nullptr};
    bool inSection = false;
    bool previousNamed = false;  // the section's last key had a name, or there is none
    int number = 1;
    int ends = 0;
    Span line;
    for (const char* at = text.begin; nextLine(text, &at, &line, &ends); number += ends) {
        Span whole = trim(line);
        if (whole.begin == whole.end)
            continue;
        const char* close = nullptr;
        for (const char* p = whole.end; p > whole.begin + 1 && close == nullptr; --p) {
            if (p[-1] == ']')
                close = p - 1;
        }
        if (*whole.begin == '[' && close) {
            if (inSection)
                return false;  // only the first section of the name is searched
            Span name = upToNul(trim({whole.begin + 1, close}));
            inSection = name.begin != name.end && sameName(name, wantedSection);
            previousNamed = true;
            if (inSection && key == nullptr) {
                found->line = number;
                return true;
            }
            continue;
        }
        const char* equals = static_cast<const char*>(memchr(whole.begin, '=', size_t(whole.end - whole.begin)));
        Span name = trim({whole.begin, equals ? equals : whole.end});
        bool named = name.begin != name.end;
        if (!named && !previousNamed)
            continue;  // the system keeps no second nameless key in a row
        previousNamed = named;
        if (!inSection || key == nullptr || !sameName(upToNul(name), wantedKey))
            continue;
        found->value = equals != nullptr;
        found->text = equals ? trim({equals + 1, whole.end}) : Span{whole.end, whole.end};
        found->line = number;
        return true;
    }
    return false;
}

// Copies `text` up to a NUL byte into `out` as the system copies a value or the
// default: a pair of quotes around it goes, a value cut short keeps its opening one.
uint32_t copyEntry(Span text, char* out, uint32_t size)
{
    text = upToNul(text);
    size_t length = size_t(text.end - text.begin);
    bool quoted = length >= 2 && (*text.begin == '"' || *text.begin == '\'') && text.end[-1] == *text.begin;
    if (quoted) {
        ++text.begin;
        --length;
    }
    size_t copied = length < size - 1 ? length : size - 1;
    memcpy(out, text.begin, copied);
    // The closing quote is dropped from what was copied whenever the buffer holds at
    // least the value's length, even where that was not copied.
    if (quoted && size >= length && copied > 0)
        --copied;
    out[copied] = '\0';
    return uint32_t(copied);
}

}  // namespace

uint32_t readProfileBytes(const char* section, const char* key, const char* defaultText,
                          char* out, uint32_t size, const char* text, size_t length)
{
    if (size == 0)
        return 0;
    Found found = {};
    if (section && key && text && findKey({text, text + length}, section, key, &found) && found.value)
        return copyEntry(found.text, out, size);
    if (defaultText == nullptr)
        defaultText = "";
    Span fallback = {defaultText, defaultText + strlen(defaultText)};
    while (fallback.end > fallback.begin + 1 && fallback.end[-1] == ' ')
        --fallback.end;
    return copyEntry(fallback, out, size);
}

uint32_t readProfileText(const char* section, const char* key, const char* defaultText,
                         char* out, uint32_t size, const char* file)
{
    return readProfileBytes(section, key, defaultText, out, size, file, file ? strlen(file) : 0);
}

int profileBytesLine(const char* text, size_t length, const char* section, const char* key)
{
    Found found = {};
    return text && section && findKey({text, text + length}, section, key, &found) ? found.line : 0;
}

int profileTextLine(const char* text, const char* section, const char* key)
{
    return profileBytesLine(text, text ? strlen(text) : 0, section, key);
}
