#include "actions/file_plan.h"

#include <windows.h>

#include "actions/files.h"
#include "platform/system.h"
#include "setupdata/setup_data.h"

namespace {

// Source and target names, pairwise. The first target goes into the Windows folder,
// the others into the program folder; the target names also name the staged copies.
const char* const kSettingsSources[kFileCount] = {
    "setup.exe",    "PkgMgr",       "PkgMgr.zem",   "ZemSetup.dat",
    "ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
    "zemlibb.dll",  "unicows.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};
const char* const kDescriptorSources[kFileCount] = {
    "setup.exe",    "PkgMgr",       "QUVOZEM.xml",  "ZemSetup.dat",
    "ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
    "zemlibb.dll",  "unicows.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};
const char* const kSettingsTargets[kFileCount] = {
    "_zemu000.exe", "PkgMgr.exe",   "ZemSetup.ini", "ZemSetup.dat",
    "ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
    "zemlibb.dll",  "unicows.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};
const char* const kDescriptorTargets[kFileCount] = {
    "_zemu000.exe", "PkgMgr.exe",   "ZemSetup.xml", "ZemSetup.dat",
    "ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
    "zemlibb.dll",  "unicows.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};


}  // namespace

extern const char kManifestName[] = "pkgmgr.exe.manifest";

void clearList(PathList& list)
{
    list.text[0] = '\0';
    list.text[1] = '\0';
    list.used = 0;
    list.count = 0;
}

// Appends `folder`, `separator` and `name`. Returns 0 when the path or the list
// would not fit.
int addPath(PathList& list, const char* folder, const char* separator, const char* name)
{
    char path[kPathChars];
    if (list.count == kFileCount ||
        !formatText(path, sizeof path, "%s%s%s", folder, separator, name))
        return 0;
    size_t length = boundedLength(path, sizeof path);
    if (list.used + length + 2 > sizeof list.text)
        return 0;  // no room for the path and the empty one that ends the list
    char* start = list.text + list.used;
    copyText(start, length + 1, path);
    list.paths[list.count++] = start;
    list.used += length + 1;
    list.text[list.used] = '\0';
    return 1;
}

int findPlaces(Places& places)
{
    places.nt = isNtFamily();
    places.sources = descriptorMode ? kDescriptorSources : kSettingsSources;
    places.targets = descriptorMode ? kDescriptorTargets : kSettingsTargets;
    places.otherSettingsName = descriptorMode ? "ZemSetup.ini" : "ZemSetup.xml";
    UINT length = GetWindowsDirectoryA(places.windowsFolder, sizeof places.windowsFolder);
    return length != 0 && length < sizeof places.windowsFolder;
}

// The installed paths: the uninstaller in the Windows folder, the rest in `folder`.
int buildInstalledList(const Places& places, const char* folder, PathList& list)
{
    clearList(list);
    if (!addPath(list, places.windowsFolder, "\\", places.targets[0]))
        return 0;
    for (int i = 1; i < kFileCount; ++i) {
        if (!addPath(list, folder, "\\", places.targets[i]))
            return 0;
    }
    return 1;
}

int formInstalledPaths(const Places& places, const char* folder, PathList& installed)
{
    char probe[kPathChars];
    return buildInstalledList(places, folder, installed) &&
           formatText(probe, sizeof probe, "%s\\%s", folder, places.otherSettingsName) &&
           formatText(probe, sizeof probe, "%s\\%s", folder, kManifestName);
}

int deploymentFiles(int descriptor, const char* const** sources, const char* const** targets)
{
    *sources = descriptor ? kDescriptorSources : kSettingsSources;
    *targets = descriptor ? kDescriptorTargets : kSettingsTargets;
    return kFileCount;
}

int programFolderFits(const char* folder)
{
    Places places;
    PathList installed;
    return folder && folder[0] && findPlaces(places) && formInstalledPaths(places, folder, installed);
}
