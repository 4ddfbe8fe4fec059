#include "actions/search_path.h"

#include <string.h>

#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "setupdata/run_flags.h"

namespace {

const char kSearchPathKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller\\SearchPath";
const char kInstallKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller\\Install";
const char kExtensionsKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
const char kButtonKey[] = "{7B3E9C41-A52D-4e8b-9F06-D2C4817E35AB}";
const char kButtonClass[] = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";
const DWORD kPackageManagerZem = 0x200;
const DWORD kOtherItemZem = 0x100;

bool valueExists(HKEY key, const char* name)
{
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// An empty REG_MULTI_SZ: a single zero byte.
void addEmptyList(HKEY key, const char* name)
{
    if (!valueExists(key, name)) {
        const BYTE empty = 0;
        platform.RegSetValueExA(key, name, 0, REG_MULTI_SZ, &empty, 1);
    }
}

void migrateItem(HKEY item, const char* itemName)
{
    DWORD zem = 0;
    DWORD size = sizeof zem;
    if (RegQueryValueExA(item, "ZEM", nullptr, nullptr, reinterpret_cast<BYTE*>(&zem), &size) !=
        ERROR_SUCCESS) {
        zem = lstrcmpiA(itemName, "PKGMGR") == 0 ? kPackageManagerZem : kOtherItemZem;
        platform.RegSetValueExA(item, "ZEM", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zem),
                                sizeof zem);
    }
    addEmptyList(item, "RegVersion");
    BYTE version[kPathChars];
    size = sizeof version;
    if (RegQueryValueExA(item, "Version", nullptr, nullptr, version, &size) == ERROR_SUCCESS &&
        size <= 3) {
        const BYTE zeros[8] = {};
        platform.RegSetValueExA(item, "LastUpdate", 0, REG_BINARY, zeros, sizeof zeros);
    }
    addEmptyList(item, "DeviceInfo");
    RegDeleteValueA(item, "Catalog");
}

int setText(HKEY key, const char* name, const char* text)
{
    return TRACED_STATUS(platform.RegSetValueExA,
                         (key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1)),
                         name) == ERROR_SUCCESS;
}

}  // namespace

int deleteKeyTree(HKEY parent, const char* name)
{
    UniqueKey key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return 1;
    DWORD values = 0;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        values = subkeys = 0;
    // Counting down keeps the remaining indexes valid while entries disappear.
    for (DWORD i = values; i-- > 0;) {
        char valueName[kPathChars];
        DWORD length = sizeof valueName;
        if (RegEnumValueA(key.get(), i, valueName, &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            RegDeleteValueA(key.get(), valueName);
    }
    for (DWORD i = subkeys; i-- > 0;) {
        char subkeyName[kPathChars];
        if (RegEnumKeyA(key.get(), i, subkeyName, sizeof subkeyName) == ERROR_SUCCESS)
            deleteKeyTree(key.get(), subkeyName);
    }
    key.reset();
    if (name)
        RegDeleteKeyA(parent, name);
    return 1;
}

int searchFolderKey(const char* folder, char* out)
{
    return copyText(out, kPathChars, kSearchPathKey) && appendText(out, kPathChars, "\\") &&
           appendText(out, kPathChars, folder);
}

int applySearchFolder(const char* folder, uint32_t runFlags)
{
    if (!(runFlags & kRunInstall))
        return deleteKeyTree(HKEY_LOCAL_MACHINE, kSearchPathKey);

    // A folder whose key path would not fit is not registered at all.
    char path[kPathChars];
    if (!searchFolderKey(folder, path)) {
        traceCause("the search folder is too long for its registry key", folder);
        return 0;
    }
    {
        UniqueKey key;
        DWORD subkeys = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS &&
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            subkeys > 0)
            deleteKeyTree(key.get(), nullptr);  // a folder above earlier ones replaces them
    }
    return TRACED_STATUS(RegSetValueA, (HKEY_LOCAL_MACHINE, path, REG_SZ, folder, DWORD(strlen(folder) + 1)),
                         path) == ERROR_SUCCESS;
}

int migrateInstallRecords()
{
    UniqueKey install;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_ALL_ACCESS, install.put()) !=
        ERROR_SUCCESS)
        return 1;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(install.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys == 0)
        return 1;
    char name[kPathChars];
    for (DWORD i = 0; RegEnumKeyA(install.get(), i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        UniqueKey item;
        if (RegOpenKeyExA(install.get(), name, 0, KEY_ALL_ACCESS, item.put()) == ERROR_SUCCESS)
            migrateItem(item.get(), name);
    }
    return 1;
}

int browserButtonExists()
{
    UniqueKey extensions;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, KEY_READ, extensions.put()) !=
        ERROR_SUCCESS)
        return 0;
    UniqueKey button;
    return RegOpenKeyExA(extensions.get(), kButtonKey, 0, KEY_READ, button.put()) == ERROR_SUCCESS;
}

int applyBrowserButton(const char* programPath, const char* iconText, const char* buttonText,
                       int wanted)
{
    UniqueKey extensions;
    if (!wanted) {
        // No browser extensions key: there is no button to remove.
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, KEY_ALL_ACCESS, extensions.put()) !=
            ERROR_SUCCESS)
            return 1;
        UniqueKey button;
        if (RegOpenKeyExA(extensions.get(), kButtonKey, 0, KEY_ALL_ACCESS, button.put()) !=
            ERROR_SUCCESS)
            return 1;
        button.reset();
        return TRACED_STATUS(RegDeleteKeyA, (extensions.get(), kButtonKey), kButtonKey) == ERROR_SUCCESS;
    }
    // The extensions key is made when missing; where even that is refused, the machine
    // gets no button, and that is no failure.
    if (platform.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, extensions.put(),
                                 nullptr) != ERROR_SUCCESS)
        return 1;
    UniqueKey button;
    if (TRACED_STATUS(platform.RegCreateKeyExA, (extensions.get(), kButtonKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, button.put(), nullptr),
                      kButtonKey) != ERROR_SUCCESS)
        return 0;
    return setText(button.get(), "Exec", programPath) && setText(button.get(), "Icon", iconText) &&
           setText(button.get(), "HotIcon", iconText) &&
           setText(button.get(), "ButtonText", buttonText) &&
           setText(button.get(), "clsid", kButtonClass) &&
           setText(button.get(), "Default Visible", "Yes");
}
