#include "actions/shortcuts.h"

// Shortcut handling is not built yet: each operation fails ("registration").
int applyDesktopShortcut(const char*, const char*, uint32_t)
{
    return 0;
}

int applyStartMenuShortcut(const char*, const char*, uint32_t)
{
    return 0;
}

int applyMenuShortcut(const char*, const char*, const char*, uint32_t)
{
    return 0;
}
