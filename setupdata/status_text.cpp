#include "setupdata/status_text.h"

#include <string.h>

#include "platform/text.h"

int shortenStatusText(char* text, size_t capacity, const char* folder)
{
    char* last = strrchr(text, '\\');
    if (last == nullptr)
        return 0;
    *last = '\0';
    char* previous = strrchr(text, '\\');
    if (previous == nullptr) {
        *last = '\\';
        return 0;
    }
    const char* name = strrchr(folder, '\\');
    *previous = '\0';
    appendText(text, capacity, " ... ");
    appendText(text, capacity, name ? name : "");
    return 1;
}
