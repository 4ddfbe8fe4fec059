#include "xml/heap.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <stdlib.h>
#include <string.h>
#endif

namespace {

// Failure injection and a live-block count, so that tests can check that every
// failed load releases all it took, also where no leak checker runs (Wine).
long g_allocationsLeft = -1;
long g_liveBlocks = 0;

bool allocationAllowed()
{
    if (g_allocationsLeft == 0)
        return false;
    if (g_allocationsLeft > 0)
        --g_allocationsLeft;
    return true;
}

}  // namespace

void* xmlHeapAlloc(size_t bytes)
{
    if (bytes == 0 || !allocationAllowed())
        return nullptr;
#if defined(_WIN32)
    void* block = LocalAlloc(LPTR, bytes);
#else
    void* block = calloc(1, bytes);
#endif
    if (block)
        ++g_liveBlocks;
    return block;
}

void* xmlHeapGrow(void* block, size_t oldBytes, size_t newBytes)
{
    if (!block)
        return xmlHeapAlloc(newBytes);
    if (newBytes <= oldBytes)
        return block;
    if (!allocationAllowed())
        return nullptr;
#if defined(_WIN32)
    return LocalReAlloc(block, newBytes, LMEM_MOVEABLE | LMEM_ZEROINIT);
#else
    char* grown = static_cast<char*>(realloc(block, newBytes));
    if (grown)
        memset(grown + oldBytes, 0, newBytes - oldBytes);
    return grown;
#endif
}

void xmlHeapFree(void* block)
{
    if (!block)
        return;
    --g_liveBlocks;
#if defined(_WIN32)
    LocalFree(block);
#else
    free(block);
#endif
}

void xmlHeapFailAfter(long allocations)
{
    g_allocationsLeft = allocations < 0 ? -1 : allocations;
}

long xmlHeapLiveBlocks()
{
    return g_liveBlocks;
}
