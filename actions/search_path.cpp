#include "actions/search_path.h"

// Search folders, install catalog and browser button are not built yet: each
// operation fails ("registration").
int applySearchFolder(const char*, uint32_t)
{
    return 0;
}

int migrateInstallRecords()
{
    return 0;
}

int applyBrowserButton(const char*, const char*, const char*, int)
{
    return 0;
}
