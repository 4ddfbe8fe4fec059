// Zero-filling allocator of the descriptor engine: the process's local heap in
// the Windows builds, the C heap elsewhere. Tests can make it fail on demand.
#pragma once
#include <stddef.h>

// A zero-filled block of `bytes` bytes, or null.
void* xmlHeapAlloc(size_t bytes);

// Resizes `block` from `oldBytes` to `newBytes`; memory beyond `oldBytes` is
// zero-filled. Returns the block (possibly moved), or null with `block` intact.
void* xmlHeapGrow(void* block, size_t oldBytes, size_t newBytes);

// Releases a block from the two calls above; null is ignored.
void xmlHeapFree(void* block);

// Test support: after `allocations` more successful allocations or growths,
// every further one fails. A negative count lets them all succeed again.
void xmlHeapFailAfter(long allocations);

// Test support: the number of engine blocks currently allocated.
long xmlHeapLiveBlocks();
