#include "setupdata/status_text.h"

#include "platform/paths.h"
#include "platform/text.h"

int shortenStatusText(char* text, size_t capacity, const char* folder)
{
    char* last = lastSeparator(text);
    if (last == nullptr)
        return 0;
    char separator = *last;
    *last = '\0';
    char* previous = lastSeparator(text);
    *last = separator;
    if (previous == nullptr)
        return 0;
    const char* name = lastSeparator(folder);
    *previous = '\0';
    appendText(text, capacity, " ... ");
    appendText(text, capacity, name ? name : "");
    return 1;
}
