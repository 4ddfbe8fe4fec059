// Paths of the stand-in machine as paths of this system (see machine.cpp).
#pragma once
#include <stddef.h>

// `path` as a path of this system into `out`; 0 when it lies on the target machine or
// is too long. A last name that is not there as written is looked up in any case.
int hostPath(const char* path, char* out, size_t size);
