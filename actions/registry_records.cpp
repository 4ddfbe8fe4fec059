#include "actions/registry_records.h"

// The registry records are not built yet: each writer fails ("registration").
int applyProgramFolder(const char*, uint32_t)
{
    return 0;
}

int applyProductIdentity(const char*, const char*, uint32_t)
{
    return 0;
}

int applyMenuFolderValue(const char*, uint32_t)
{
    return 0;
}

int applyInternetSettings(int32_t, const char*, uint32_t)
{
    return 0;
}

int applyUninstallEntry(const char*, const char*, const char*, uint32_t)
{
    return 0;
}
