#include "setupdata/options.h"

#include <string.h>

#include "actions/file_security.h"
#include "actions/registry_records.h"
#include "actions/search_path.h"
#include "actions/shortcuts.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "resources/resource.h"
#include "setupdata/run_flags.h"
#include "setupdata/install_settings.h"
#include "setupdata/names.h"
#include "setupdata/settings.h"
#include "setupdata/setup_data.h"

namespace {

// Versions after this one record whether the user turned the internet function off.
const char kFirstRecordedInternetVersion[] = "3.00.0000";
const char kInstalledDescriptor[] = "ZemSetup.xml";

// A stored internet setting of 0 turns the function and the button off.
void applyRecordedInternetChoice(InstallSettings* settings)
{
    int32_t recorded = 0;
    if (readInternetFunction(&recorded) && recorded == 0) {
        settings->internetFunction = 0;
        settings->browserButton = 0;
    }
}

int formatShortcutPath(char* out, const char* folder, const char* name)
{
    return formatText(out, kPathChars, "%s\\%s.lnk", folder, name);
}

}  // namespace

int checkChosenFolders(InstallSettings* s, int folderFound)
{
    // A relative folder would be resolved against the current folder now and against
    // another one at removal.
    int programOk = 1;
    if (!folderFound) {
        traceCause("no target folder ([INIT] TARGET, or it does not fit a path) in", settingsFilePath);
        programOk = 0;
    } else {
        // One spelling before the folder is checked, protected, made and stored:
        // "C:\\Veltrano" or "C:\.\Veltrano" is made at the drive's root like "C:\Veltrano".
        char canonical[kPathChars];
        if (!canonicalFolderPath(s->programFolder, canonical, sizeof canonical)) {
            traceCause("the program folder is not a full path, or holds a name the system refuses",
                       s->programFolder);
            programOk = 0;
        } else {
            copyText(s->programFolder, kPathChars, canonical);
            // A folder that another user made first (at a drive's root, say) stays in that
            // user's hands; installing there would leave the program's files replaceable.
            programOk = folderOwnersTrusted(s->programFolder);
        }
    }
    // The menu folder is checked also after a failure above, so that every cause is named.
    int result = readMenuGroup(s->menuFolder);
    if (!result) {
        traceCause("no menu folder ([INIT] GROUP) in", settingsFilePath);
    } else if (!isValidFolderPath(s->menuFolder)) {
        // Found out only when the shortcut could not be saved, after the files were copied.
        traceCause("the menu folder holds a name the system refuses", s->menuFolder);
        result = 0;
    }
    if (!programOk)
        return 0;
    // Names too long for a path fail the step rather than being cut.
    if (!formatShortcutPath(s->menuShortcut, s->menuFolder, s->productName) ||
        !formatText(s->programPath, kPathChars, "%s\\%s", s->programFolder, "\\PkgMgr.exe")) {
        traceCause("the menu shortcut or the program path does not fit a path", s->programFolder);
        result = 0;
    }
    if (s->previousName[0] &&
        !formatShortcutPath(s->previousMenuShortcut, s->menuFolder, s->previousName)) {
        traceCause("the earlier menu shortcut does not fit a path", s->previousName);
        result = 0;
    }
    return result;
}

namespace {

int installOptions(int32_t* cancelled, InstallSettings* s, char* previousVersion, uint32_t runFlags)
{
    // The product name becomes the name of shortcut files: "..\" or "CON" there would
    // write, and at removal delete, files elsewhere.
    int identity = readReleaseIdentity(s->productName, s->productVersion);
    if (!identity)
        traceCause("no release name or version in", releaseFilePath);
    else if (!isValidFileName(s->productName))
        traceCause("the product name cannot be a file name", s->productName);
    if (!identity || !isValidFileName(s->productName)) {
        // The run ends here, without the dialog; the folders are still checked, so that
        // the trace names every cause at once.
        static InstallSettings folders;
        ZeroMemory(&folders, sizeof folders);
        int folderFound = readProgramFolder(folders.programFolder) || readTargetFolder(folders.programFolder);
        checkChosenFolders(&folders, folderFound);
        return 0;
    }
    readSetupFolder(s->sourceFolder);
    s->internetFunction = readRadarSetting();
    s->desktopIcon = desktopShortcutExists(s->productName);
    s->startMenuIcon = startMenuShortcutExists(s->productName);
    s->browserButton = (runFlags & kRunNoShortcuts) ? browserButtonExists()
                                                    : (s->internetFunction != 0 ? 1 : 0);

    int folderFound;
    if (readProgramFolder(s->programFolder) && readProductIdentity(s->previousName, previousVersion)) {
        if (!isValidFileName(s->previousName))
            s->previousName[0] = '\0';  // no shortcuts are looked for or removed under it
        if (strncmp(previousVersion, kFirstRecordedInternetVersion, 10) > 0)
            applyRecordedInternetChoice(s);
        if (!s->desktopIcon)
            s->desktopIcon = desktopShortcutExists(s->previousName) ? 1 : 0;
        if (!s->startMenuIcon)
            s->startMenuIcon = startMenuShortcutExists(s->previousName) ? 1 : 0;
        folderFound = 1;
    } else {
        s->runFlags |= kRunFreshInstall;
        applyRecordedInternetChoice(s);
        folderFound = readTargetFolder(s->programFolder);
    }

    if (!(runFlags & kRunSilent)) {
        INT_PTR result = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_OPTIONS), nullptr,
                                         optionsDialogProc, reinterpret_cast<LPARAM>(s));
        if (result != IDOK)
            *cancelled = 1;
    }
    return checkChosenFolders(s, folderFound);
}

int uninstallOptions(int32_t* cancelled, InstallSettings* s, char* previousVersion, uint32_t runFlags)
{
    int folderKnown = readProgramFolder(s->sourceFolder);
    int identityKnown = readProductIdentity(s->productName, s->productVersion);
    // A removal that was cut off removes the program folder's record after the files,
    // and the product's name after the shortcuts: without them, what is left of the
    // records is removed and the files and shortcuts are not looked for again. An
    // installation that was cut off has recorded the folder but not yet the name: its
    // files and records go, and the shortcuts it made stay where no record names them.
    if (!identityKnown && !folderKnown && !removalRecordsLeft()) {
        traceCause("nothing to remove: no \"ProgDir\" or \"Name\" under",
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUVO\\VeltranoSoftwareInstaller");
        return 0;
    }
    if ((folderKnown && !isAbsoluteFolder(s->sourceFolder)) || (identityKnown && !isValidFileName(s->productName))) {
        traceCause("the recorded program folder or product name would reach other files", s->sourceFolder);
        return 0;
    }
    if (!folderKnown)
        s->sourceFolder[0] = '\0';
    if (!identityKnown) {
        s->productName[0] = '\0';
        s->productVersion[0] = '\0';
    }
    char descriptor[kPathChars];
    if (folderKnown && fileInFolder(s->sourceFolder, kInstalledDescriptor, descriptor))
        descriptorMode = 1;  // the installation came from a descriptor: remove its files
    copyText(previousVersion, kPathChars, s->productVersion);
    if (!(runFlags & kRunSilent)) {
        char caption[kPathChars];
        char question[kPathChars];
        loadSetupText(IDS_UNINSTALL_TITLE, caption, sizeof caption);
        loadSetupText(IDS_CONFIRM_REMOVAL, question, sizeof question);
        if (platform.MessageBoxA(nullptr, question, caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
            *cancelled = 1;
    }
    if (!identityKnown)
        return 1;  // the shortcuts went before the name: nothing to look for
    // An installation cut off before it recorded the menu folder: the removal goes on
    // without a menu shortcut to look for.
    if (!readMenuFolder(s->menuFolder)) {
        traceCause("no \"MenuDir\" (no menu shortcut is looked for) under",
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUVO\\VeltranoSoftwareInstaller");
        s->menuFolder[0] = '\0';
        return 1;
    }
    if (!formatShortcutPath(s->menuShortcut, s->menuFolder, s->productName)) {
        traceCause("the menu shortcut does not fit a path", s->menuFolder);
        return 0;
    }
    return 1;
}

}  // namespace

int runOptionsStep(int32_t* cancelled, InstallSettings* settings, char* previousVersion,
                   uint32_t runFlags)
{
    *cancelled = 0;
    settings->runFlags = runFlags;
    if (runFlags & kRunInstall)
        return installOptions(cancelled, settings, previousVersion, runFlags);
    return uninstallOptions(cancelled, settings, previousVersion, runFlags);
}

