// Kept apart from system.cpp so that only the programs that read whole files link it.
#include <stdlib.h>

#include "platform/system.h"

char* readWholeFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    const size_t kChunk = 4096;
    char* text = nullptr;
    size_t length = 0;
    size_t capacity = 0;
    for (;;) {
        if (length + kChunk + 1 > capacity) {
            capacity = capacity * 2 + 2 * kChunk;
            char* grown = static_cast<char*>(realloc(text, capacity));
            if (grown == nullptr) {
                free(text);
                text = nullptr;
                break;
            }
            text = grown;
        }
        DWORD read = 0;
        if (!ReadFile(file, text + length, DWORD(kChunk), &read, nullptr) || read == 0)
            break;
        length += read;
    }
    CloseHandle(file);
    if (text)
        text[length] = '\0';
    return text;
}
