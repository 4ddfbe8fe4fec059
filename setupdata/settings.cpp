#include "setupdata/settings.h"

#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "actions/registry_records.h"
#include "platform/paths.h"
#include "platform/shell_folders.h"
#include "platform/system.h"
#include "platform/text.h"
#include "setupdata/descriptor_values.h"
#include "setupdata/setup_data.h"
#include "setupdata/setup_value.h"

namespace {

const int kCommonPrograms = 0x17;   // CSIDL_COMMON_PROGRAMS
const int kPrograms = 0x02;         // CSIDL_PROGRAMS
const int kCommonStartMenu = 0x16;  // CSIDL_COMMON_STARTMENU
const int kStartMenu = 0x0B;        // CSIDL_STARTMENU

void specialFolder(int csidl, char* out)
{
    shellFolderPath(csidl, out);  // a failure leaves the empty text
}

// The platform's profile reader, in the form the value lookup takes.
uint32_t readProfileString(const char* section, const char* key, const char* defaultText, char* out,
                           uint32_t size, const char* file)
{
    return GetPrivateProfileStringA(section, key, defaultText, out, DWORD(size), file);
}

}  // namespace

int readSetupValue(const char* section, const char* key, const char* defaultText, char* out,
                   size_t size, const char* file)
{
    return resolveSetupValue(readProfileString, &systemProfile, section, key, defaultText, out,
                             size, file);
}

int readTargetFolder(char* out)
{
    readCurrentVersionValue("ProgramFilesDir", out, kPathChars);
    if (!appendText(out, kPathChars, "\\"))
        return 0;
    size_t length = strlen(out);
    return readSetupValue("INIT", "TARGET", "", out + length, kPathChars - length, settingsFilePath);
}

int readDefaultSearch(char* out)
{
    return readSetupValue("INIT", "DEFAULTSEARCH", "", out, kPathChars, settingsFilePath);
}

int readDownloadFolders(char* out)
{
    return readSetupValue("INIT", "DOWNLOAD", "", out, kPathChars, settingsFilePath);
}

int readMenuGroup(char* out)
{
    char group[kPathChars] = "";
    if (!readSetupValue("INIT", "GROUP", "", group, sizeof group, settingsFilePath))
        return 0;
    bool nt = isNtFamily();
    // The folder is built aside, so that a group too long for the path leaves `out` alone.
    char folder[kPathChars];
    if (group[0] == '.') {
        specialFolder(nt ? kCommonPrograms : kPrograms, folder);
    } else if (group[0] == '\\') {
        specialFolder(nt ? kCommonStartMenu : kStartMenu, folder);
        if (group[1] != '\0' && !appendText(folder, sizeof folder, group))
            return 0;
    } else {
        specialFolder(nt ? kCommonPrograms : kPrograms, folder);
        if (!appendPathName(folder, sizeof folder, group))
            return 0;
    }
    copyText(out, kPathChars, folder);
    return 1;
}

int readRadarSetting()
{
    char value[kPathChars] = "";
    if (readSetupValue("RADAR", "FILE", "", value, sizeof value, settingsFilePath) && value[0] != '.')
        return 1;
    memset(value, 0, sizeof value);
    if (readSetupValue("RADAR", "ALTFILE", "", value, sizeof value, settingsFilePath) &&
        value[0] != '.')
        return 2;
    return 0;
}

int readReleaseIdentity(char* name, char* version)
{
    if (descriptorTree == nullptr) {
        return readSetupValue("RELEASE", "NAME", "", name, kPathChars, releaseFilePath) &&
               readSetupValue("RELEASE", "VERSION", "", version, kPathChars, releaseFilePath);
    }
    return readDescriptorValue("RELEASE", "NAME", name, kPathChars, "PKGMGR", descriptorTree,
                               &systemProfile, 0) &&
           readDescriptorValue("RELEASE", "VERSION", version, kPathChars, "PKGMGR", descriptorTree,
                               &systemProfile, 0);
}
