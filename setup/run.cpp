#include "setup/run.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "actions/file_security.h"
#include "actions/files.h"
#include "actions/installed_size.h"
#include "actions/registry_records.h"
#include "actions/search_path.h"
#include "actions/shortcuts.h"
#include "platform/guards.h"
#include "platform/libraries.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "platform/trusted_names.h"
#include "resources/resource.h"
#include "setup/checks.h"
#include "setup/command_line.h"
#include "setup/context.h"
#include "setup/exit_code.h"
#include "setup/help.h"
#include "setup/progress.h"
#include "setup/run_log.h"
#include "setup/running_instance.h"
#include "setupdata/run_flags.h"
#include "setupdata/options.h"
#include "setupdata/settings.h"
#include "setupdata/setup_data.h"

SetupStepSeam setupSteps = {locateSetupData, runOptionsStep};

const char kResultKeyPath[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";

namespace {

const char kDefaultDownloadFolder[] = "C:\\DRIVERS";
const char kUninstallerName[] = "_zemu000.exe";
const char kBrowserButtonIcon[] = "_zemu000.exe,100";

// A phase either fails, completes (the bar moves and the run pauses) or is
// skipped (the bar moves without a pause).
enum PhaseResult { kPhaseFailed = 0, kPhaseDone = 1, kPhaseSkipped = 2 };

struct Phase {
    int32_t resultCode;
    PhaseResult (*run)(SetupContext& run, const char* buttonText);
    int position;  // 0: the bar does not move
};

PhaseResult asPhase(int succeeded)
{
    return succeeded ? kPhaseDone : kPhaseFailed;
}

// --- Install phases ---

PhaseResult checkServicePackPhase(SetupContext&, const char*)
{
    return asPhase(checkServicePack());
}

PhaseResult installFiles(SetupContext& run, const char*)
{
    return asPhase(deployFiles(nullptr, run.settings.programFolder, &run.restartNeeded, run.runFlags));
}

PhaseResult installShortcuts(SetupContext& run, const char*)
{
    if (run.runFlags & kRunNoShortcuts)
        return kPhaseSkipped;
    return asPhase(applyInstallShortcuts(run.settings, run.runFlags));
}

PhaseResult installProgramFolder(SetupContext& run, const char*)
{
    return asPhase(applyProgramFolder(run.settings.programFolder, run.runFlags));
}

PhaseResult installProductIdentity(SetupContext& run, const char*)
{
    return asPhase(
        applyProductIdentity(run.settings.productName, run.settings.productVersion, run.runFlags));
}

PhaseResult installSearchFolders(SetupContext& run, const char*)
{
    return asPhase(registerSearchFolders(run.downloadFolder, run.runFlags));
}

PhaseResult installMenuAndInternet(SetupContext& run, const char* buttonText)
{
    InstallSettings& s = run.settings;
    return asPhase(applyMenuFolderValue(s.menuFolder, run.runFlags) &&
                   applyInternetSettings(s.internetFunction, run.downloadFolder, run.runFlags) &&
                   applyBrowserButton(s.programPath, kBrowserButtonIcon, buttonText, s.browserButton));
}

PhaseResult installMigrateRecords(SetupContext&, const char*)
{
    return asPhase(migrateInstallRecords());
}

PhaseResult installUninstallEntry(SetupContext& run, const char*)
{
    const InstallSettings& s = run.settings;
    return asPhase(applyUninstallEntry(run.uninstallerName, s.productName, s.productVersion, s.programFolder,
                                       installedKilobytes(s.programFolder), run.runFlags));
}

const Phase kInstallPhases[] = {
    {IDS_NEED_SERVICE_PACK, checkServicePackPhase, 0},
    {IDS_PHASE_COPY_FILES, installFiles, 1},
    {IDS_PHASE_SHORTCUTS, installShortcuts, 2},
    {IDS_PHASE_REGISTRY, installProgramFolder, 3},
    {IDS_PHASE_REGISTRY, installProductIdentity, 4},
    {IDS_PHASE_REGISTRY, installSearchFolders, 5},
    {IDS_PHASE_REGISTRY, installMenuAndInternet, 6},
    {IDS_PHASE_REGISTRY, installMigrateRecords, 7},
    {IDS_PHASE_REGISTRY, installUninstallEntry, 8},
};

// --- Uninstall phases: the removal branches take no names they do not use ---

PhaseResult removeFiles(SetupContext& run, const char*)
{
    // No recorded folder: a removal cut off after its files has removed them.
    if (!run.settings.sourceFolder[0])
        return kPhaseSkipped;
    return asPhase(deployFiles(nullptr, run.settings.sourceFolder, &run.restartNeeded, run.runFlags));
}

PhaseResult removeShortcuts(SetupContext& run, const char*)
{
    InstallSettings& s = run.settings;
    if (!s.productName[0])
        return kPhaseSkipped;  // removed before the name was
    return asPhase(applyMenuShortcut(nullptr, s.menuShortcut, s.menuFolder, run.runFlags) &&
                   applyDesktopShortcut(nullptr, s.productName, run.runFlags) &&
                   applyStartMenuShortcut(nullptr, s.productName, run.runFlags));
}

PhaseResult removeProgramFolder(SetupContext& run, const char*)
{
    return asPhase(applyProgramFolder(nullptr, run.runFlags));
}

PhaseResult removeProductIdentity(SetupContext& run, const char*)
{
    return asPhase(applyProductIdentity(nullptr, nullptr, run.runFlags));
}

PhaseResult removeMenuAndInternet(SetupContext& run, const char*)
{
    return asPhase(applyMenuFolderValue(nullptr, run.runFlags) &&
                   applyInternetSettings(0, nullptr, run.runFlags) &&
                   applyBrowserButton(nullptr, nullptr, nullptr, 0));
}

PhaseResult removeSearchFolders(SetupContext& run, const char*)
{
    return asPhase(applySearchFolder(nullptr, run.runFlags));
}

PhaseResult removeUninstallEntry(SetupContext& run, const char*)
{
    return asPhase(applyUninstallEntry(nullptr, nullptr, nullptr, nullptr, 0, run.runFlags));
}

// The per-item install records stay on removal: there is no migration phase.
const Phase kUninstallPhases[] = {
    {IDS_PHASE_REMOVE_FILES, removeFiles, 2},
    {IDS_PHASE_SHORTCUTS, removeShortcuts, 3},
    {IDS_PHASE_REGISTRY, removeProgramFolder, 4},
    {IDS_PHASE_REGISTRY, removeProductIdentity, 5},
    {IDS_PHASE_REGISTRY, removeMenuAndInternet, 6},
    {IDS_PHASE_REGISTRY, removeSearchFolders, 7},
    {IDS_PHASE_REGISTRY, removeUninstallEntry, 8},
};

// Runs the phases in order; the first failure ends them with its result code.
void runPhases(SetupContext& run, HWND window, const Phase* phases, size_t count,
               const char* buttonText)
{
    for (size_t i = 0; i < count; ++i) {
        run.resultCode = phases[i].resultCode;
        PhaseResult result = phases[i].run(run, buttonText);
        if (result == kPhaseFailed) {
            run.succeeded = 0;
            return;
        }
        if (phases[i].position != 0)
            advanceProgress(window, phases[i].position, result == kPhaseDone);
    }
    run.resultCode = 0;
}

// The last line of a failed run's trace: its result and what it means.
void traceResult(const SetupContext& run)
{
    char text[kPathChars];
    formatText(text, sizeof text, "%s (%s)", run.resultText, resultMeaning(run));
    traceCause((run.runFlags & kRunInstall) ? "the installation failed with result"
                                            : "the removal failed with result",
               text);
}

void storeResultValue(SetupContext& run)
{
    formatText(run.resultText, sizeof run.resultText, "%04X", unsigned(run.resultCode));
    if (!run.succeeded)
        traceResult(run);
    UniqueKey key;
    DWORD disposition = 0;
    if (platform.RegCreateKeyExA(HKEY_CURRENT_USER, kResultKeyPath, 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                                 &disposition) != ERROR_SUCCESS)
        return;  // the exit code still tells the caller
    platform.RegSetValueExA(key.get(), "Setup", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(run.resultText),
                            DWORD(strlen(run.resultText) + 1));
}

}  // namespace

void showFinalReport(const SetupContext& run)
{
    if (run.runFlags & (kRunSilent | kRunNoReport))
        return;
    if (run.succeeded && run.restartNeeded) {
        platform.SetupPromptReboot(nullptr, nullptr, FALSE);
        return;
    }
    char caption[kPathChars];
    char message[kPathChars];
    loadSetupText((run.runFlags & kRunInstall) ? IDS_INSTALL_TITLE : IDS_UNINSTALL_TITLE, caption,
             sizeof caption);
    if (run.succeeded) {
        loadSetupText(IDS_COMPLETED, message, sizeof message);
        platform.MessageBoxA(nullptr, message, caption, MB_ICONINFORMATION);
    } else if (run.resultCode == IDS_NEED_SERVICE_PACK || run.resultCode == IDS_UNSUPPORTED_SYSTEM) {
        loadSetupText(UINT(run.resultCode), message, sizeof message);
        loadSetupText(IDS_CANNOT_START, caption, sizeof caption);
        platform.MessageBoxA(nullptr, message, caption, MB_ICONWARNING);
    } else {
        char format[kPathChars];
        char phase[kPathChars];
        loadSetupText(IDS_FAILED_FORMAT, format, sizeof format);
        loadSetupText(UINT(run.resultCode), phase, sizeof phase);
        formatWithText(message, sizeof message, format, phase);
        platform.MessageBoxA(nullptr, message, caption, MB_ICONWARNING);
    }
}

namespace {

// Opens the application through its menu shortcut after an installation with /O.
void launchApplication(SetupContext& run)
{
    ZeroMemory(&run.launchInfo, sizeof run.launchInfo);
    run.launchInfo.cbSize = sizeof run.launchInfo;
    run.launchInfo.lpFile = run.settings.menuShortcut;
    run.launchInfo.lpDirectory = run.settings.menuFolder;
    run.launchInfo.nShow = SW_SHOWNORMAL;
    // The process ends right after this call: the shell must finish opening the
    // shortcut before it returns, and it may need COM to do so.
    run.launchInfo.fMask = SEE_MASK_NOASYNC;
    ComScope com;
    systemLibraries().ShellExecuteExA(&run.launchInfo);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // A drive without media (an empty card reader) or a missing file reports an error
    // to the caller instead of a system box that a silent run would wait on unseen.
    UINT givenErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Before anything loads a library on demand: only system DLLs from here on.
    restrictDllSearchToSystemFolder();

    // The record is large (a dozen path buffers); it lives outside the stack.
    static SetupContext run;
    ZeroMemory(&run, sizeof run);
    run.runFlags = kRunInstall;
    run.versionInfo.dwOSVersionInfoSize = sizeof run.versionInfo;
    GetVersionExA(&run.versionInfo);
    // The DLLs that are not imported, from the system folder; without them the run
    // ends in its first phase, before it reads or changes anything.
    bool librariesLoaded = systemLibrariesLoaded();
    if (librariesLoaded)
        systemLibraries().InitCommonControls();

    parseCommandLine(commandLine, &run.runFlags);
    if (run.runFlags & kRunHelp) {
        showCommandLineHelp(instance, run.runFlags);
        return 0;
    }
    if (run.runFlags & kRunLog)
        openRunLog(run, commandLine);
    run.succeeded = librariesLoaded && setupSteps.locateSetupData(instance, run.runFlags);

    if (run.versionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (!isAdministrator()) {
            traceCause("not run by an administrator: nothing was done", "");
            if (!(run.runFlags & kRunSilent)) {
                char message[kPathChars];
                loadSetupText(IDS_NOT_ADMINISTRATOR, message, sizeof message);
                platform.MessageBoxA(nullptr, message, nullptr, MB_ICONERROR);
            }
            closeRunLog(run, "not an administrator");
            return 0;
        }
        if (!enableTakeOwnership()) {
            traceCall("AdjustTokenPrivileges", GetLastError(), "SeTakeOwnershipPrivilege");
            closeRunLog(run, "privilege refused");
            return 0;
        }
    }

    run.resultCode = IDS_PHASE_INITIALIZATION;
    if (run.succeeded) {
        run.resultCode = IDS_UNSUPPORTED_SYSTEM;
        run.succeeded = checkPlatform();
    }
    if (run.succeeded) {
        run.resultCode = IDS_PHASE_INITIALIZATION;
        run.succeeded = setupSteps.runOptionsStep(&run.cancelled, &run.settings,
                                                  run.previousVersion, run.runFlags);
        if (run.succeeded && run.cancelled) {
            closeRunLog(run, "cancelled by the user");
            return 0;
        }
    }
    if (run.succeeded) {
        if (run.runFlags & kRunInstall)
            releaseSetupData();
        HWND window = openProgressWindow();
        run.restartNeeded =
            detectRunningInstance(run.settings.productName, run.previousVersion, run.runFlags);
        if (run.runFlags & kRunInstall) {
            char buttonText[kPathChars];
            copyText(run.downloadFolder, sizeof run.downloadFolder, kDefaultDownloadFolder);
            copyText(run.uninstallerName, sizeof run.uninstallerName, kUninstallerName);
            loadSetupText(IDS_BROWSER_BUTTON, buttonText, sizeof buttonText);
            runPhases(run, window, kInstallPhases, ARRAYSIZE(kInstallPhases), buttonText);
        } else {
            runPhases(run, window, kUninstallPhases, ARRAYSIZE(kUninstallPhases), nullptr);
        }
        if (window)
            DestroyWindow(window);
    }

    storeResultValue(run);
    closeRunLog(run, nullptr);
    showFinalReport(run);
    if ((run.runFlags & kRunInstall) && (run.runFlags & kRunWaitAndOpen) && run.succeeded) {
        SetErrorMode(givenErrorMode);  // the application inherits the mode, not the run's own
        launchApplication(run);
    }
    return runExitCode(run);
}
