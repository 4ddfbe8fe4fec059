#include "platform/text.h"

#include <stdarg.h>
#include <string.h>

size_t boundedLength(const char* text, size_t limit)
{
    size_t n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return n;
}

namespace {

// Writer that appends into a bounded buffer and remembers whether anything was cut.
struct BoundedWriter {
    char* out;
    size_t capacity;
    size_t length;
    bool cut;

    void put(char c)
    {
        if (length + 1 < capacity)
            out[length++] = c;
        else
            cut = true;
    }
    void puts(const char* text)
    {
        while (*text)
            put(*text++);
    }
    void finish()
    {
        if (capacity > 0)
            out[length] = '\0';
    }
};

void putNumber(BoundedWriter& w, unsigned long value, unsigned base, bool upper, bool negative,
               bool zeroPad, unsigned width)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char scratch[24];
    unsigned n = 0;
    do {
        scratch[n++] = digits[value % base];
        value /= base;
    } while (value != 0);
    unsigned shown = n + (negative ? 1u : 0u);
    if (negative && zeroPad)
        w.put('-');
    for (; shown < width; ++shown)
        w.put(zeroPad ? '0' : ' ');
    if (negative && !zeroPad)
        w.put('-');
    while (n > 0)
        w.put(scratch[--n]);
}

}  // namespace

int copyText(char* out, size_t capacity, const char* text)
{
    BoundedWriter w{out, capacity, 0, capacity == 0};
    w.puts(text);
    w.finish();
    return w.cut ? 0 : 1;
}

int appendText(char* out, size_t capacity, const char* text)
{
    size_t start = boundedLength(out, capacity);
    if (start >= capacity)  // no terminator inside the buffer: nothing can be appended
        return 0;
    BoundedWriter w{out, capacity, start, false};
    w.puts(text);
    w.finish();
    return w.cut ? 0 : 1;
}

int formatText(char* out, size_t capacity, const char* format, ...)
{
    BoundedWriter w{out, capacity, 0, capacity == 0};
    va_list args;
    va_start(args, format);
    for (const char* f = format; *f; ++f) {
        if (*f != '%') {
            w.put(*f);
            continue;
        }
        ++f;
        bool zeroPad = false;
        if (*f == '0') {
            zeroPad = true;
            ++f;
        }
        unsigned width = 0;
        while (*f >= '0' && *f <= '9')
            width = width * 10 + unsigned(*f++ - '0');
        switch (*f) {
        case 's': {
            const char* s = va_arg(args, const char*);
            w.puts(s ? s : "");
            break;
        }
        case 'd': {
            long v = va_arg(args, int);
            bool negative = v < 0;
            putNumber(w, negative ? 0ul - (unsigned long)v : (unsigned long)v, 10, false, negative,
                      zeroPad, width);
            break;
        }
        case 'u':
            putNumber(w, va_arg(args, unsigned), 10, false, false, zeroPad, width);
            break;
        case 'X':
        case 'x':
            putNumber(w, va_arg(args, unsigned), 16, *f == 'X', false, zeroPad, width);
            break;
        case '%':
            w.put('%');
            break;
        case '\0':
            --f;  // a lone '%' at the end: stop at the terminator
            break;
        default:  // unknown conversion: shown as written
            w.put('%');
            w.put(*f);
            break;
        }
    }
    va_end(args);
    w.finish();
    return w.cut ? 0 : 1;
}

int formatWithText(char* out, size_t capacity, const char* format, const char* text)
{
    BoundedWriter w{out, capacity, 0, capacity == 0};
    for (const char* f = format; *f; ++f) {
        if (f[0] == '%' && f[1] == 's') {
            w.puts(text);
            ++f;
        } else if (f[0] == '%' && f[1] == '%') {
            w.put('%');
            ++f;
        } else {
            w.put(*f);
        }
    }
    w.finish();
    return w.cut ? 0 : 1;
}

void splitList(char* list)
{
    for (char* p = list; *p; ++p) {
        if (*p == ';')
            *p = '\0';
    }
}

char* nextPiece(char* piece, const char* end)
{
    char* next = piece + strlen(piece) + 1;
    return next < end ? next : nullptr;
}
