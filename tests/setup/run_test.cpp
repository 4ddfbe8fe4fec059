// The setup run in this process: early exits, result value, final report.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "platform/guards.h"
#include "run_test_support.h"
#include "setup/checks.h"
#include "setup/context.h"
#include "setup/help.h"
#include "resources/resource.h"
#include "setup/run.h"
#include "setupdata/setup_data.h"

namespace {

const char kBefore[] = "BEFORE";  // a value left by an earlier run

std::string hex4(int code)
{
    char text[16];
    wsprintfA(text, "%04X", code);
    return text;
}

// A token group list: the Administrators group with the given attributes, after a
// group of everyone.
struct FakeGroups {
    bool tokenOpens = true;
    DWORD adminAttributes = SE_GROUP_ENABLED;
    bool adjustSucceeds = true;
};
FakeGroups fake;

BOOL WINAPI fakeOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    if (!fake.tokenOpens) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return OpenProcessToken(process, access, token);
}

BOOL WINAPI fakeGetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID info, DWORD length,
                                    PDWORD returned)
{
    static BYTE everyone[SECURITY_MAX_SID_SIZE];
    static BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
    size = sizeof admins;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size);

    DWORD needed = sizeof(TOKEN_GROUPS) + sizeof(SID_AND_ATTRIBUTES);
    *returned = needed;
    if (length < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* groups = static_cast<TOKEN_GROUPS*>(info);
    groups->GroupCount = 2;
    groups->Groups[0].Sid = everyone;
    groups->Groups[0].Attributes = SE_GROUP_ENABLED;
    groups->Groups[1].Sid = admins;
    groups->Groups[1].Attributes = fake.adminAttributes;
    return TRUE;
}

BOOL WINAPI fakeAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                      PDWORD)
{
    if (fake.adjustSucceeds)
        return TRUE;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Stand-ins for the setup-data and options steps.
int dataFound(HINSTANCE instance, uint32_t)
{
    moduleInstance = instance;
    return 1;
}

int optionsCancelled(int32_t* cancelled, InstallSettings*, char*, uint32_t)
{
    *cancelled = 1;
    return 1;
}

int optionsAccepted(int32_t* cancelled, InstallSettings* settings, char*, uint32_t)
{
    *cancelled = 0;
    lstrcpynA(settings->productName, "PkgMgr run test (not running)", 260);
    return 1;
}

class SetupRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = FakeGroups();
        recordMessages();
        platform.OpenProcessToken = fakeOpenProcessToken;
        platform.GetTokenInformation = fakeGetTokenInformation;
        platform.AdjustTokenPrivileges = fakeAdjustTokenPrivileges;
        writeResultValue(kBefore);
    }
    void TearDown() override { deleteResultValue(); }

    // Runs and checks that the exit code is the stored result.
    void expectResult(const char* commandLine, int code)
    {
        int exitCode = runSetup(commandLine);
        EXPECT_EQ(code, exitCode) << commandLine;
        EXPECT_EQ(hex4(code), readResultValue()) << commandLine;
    }

    SeamGuard guard_;
};

TEST_F(SetupRun, NonAdministratorExitsWithMessageAndNoResult)
{
    fake.adminAttributes = SE_GROUP_USE_FOR_DENY_ONLY;  // present, but only for denying
    EXPECT_EQ(0, runSetup(""));
    EXPECT_EQ(kBefore, readResultValue());
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ("You must be an administrator to run this program.", shownMessages[0].text);
    EXPECT_EQ("(default)", shownMessages[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), shownMessages[0].type);

    shownMessages.clear();
    EXPECT_EQ(0, runSetup("/S /U"));
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_EQ(kBefore, readResultValue());
}

TEST_F(SetupRun, UnreadableTokenCountsAsNonAdministrator)
{
    fake.tokenOpens = false;
    EXPECT_EQ(0, runSetup("/S"));
    EXPECT_EQ(kBefore, readResultValue());
}

TEST_F(SetupRun, RefusedPrivilegeExitsSilently)
{
    fake.adjustSucceeds = false;
    EXPECT_EQ(0, runSetup(""));
    EXPECT_EQ(kBefore, readResultValue());
    EXPECT_TRUE(shownMessages.empty());
}

TEST_F(SetupRun, WithoutSetupDataBesideTheProgramInitializationFails)
{
    expectResult("", 8);
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ("Failed in operation for initialization.", shownMessages[0].text);
    EXPECT_EQ("Installation Program", shownMessages[0].caption);
    EXPECT_EQ(UINT(MB_ICONWARNING), shownMessages[0].type);
}

TEST_F(SetupRun, SilentAndNoReportOptionsShowNoReport)
{
    for (const char* line : {"/S", "/F", "/s/f", "/F /W"}) {
        shownMessages.clear();
        expectResult(line, 8);
        EXPECT_TRUE(shownMessages.empty()) << line;
    }
}

TEST_F(SetupRun, RemovalWithoutRecordsFailsInInitialization)
{
    expectResult("/U", 8);
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ("Failed in operation for initialization.", shownMessages[0].text);
    EXPECT_EQ("Uninstallation Program", shownMessages[0].caption);
}

TEST_F(SetupRun, CancelledOptionsExitWithoutResult)
{
    setupSteps.locateSetupData = dataFound;
    setupSteps.runOptionsStep = optionsCancelled;
    for (const char* line : {"", "/U", "/F"}) {
        EXPECT_EQ(0, runSetup(line)) << line;
        EXPECT_EQ(kBefore, readResultValue()) << line;
    }
    EXPECT_TRUE(shownMessages.empty());
}

TEST_F(SetupRun, AcceptedOptionsLeadToTheFilePhase)
{
    setupSteps.locateSetupData = dataFound;
    setupSteps.runOptionsStep = optionsAccepted;
    // The options' settings name no folder: an installation cannot copy the files; a
    // removal takes them as removed already (by a removal cut off earlier) and fails at
    // the first record, as nothing is recorded here.
    expectResult("/S", 9);
    expectResult("/S /U", 12);
    expectResult("/U", 12);
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ("Failed in operation for registration.", shownMessages[0].text);
    EXPECT_EQ("Uninstallation Program", shownMessages[0].caption);
}

int setupDataLooks;
int dataCounted(HINSTANCE instance, uint32_t flags)
{
    ++setupDataLooks;
    return dataFound(instance, flags);
}

// /?, /H and /help show the switches and end with 0 before the run reads or writes
// anything: no setup data, no log, no "Setup", not even the administrator check.
TEST_F(SetupRun, HelpShowsTheSwitchesAndDoesNothing)
{
    setupDataLooks = 0;
    setupSteps.locateSetupData = dataCounted;
    fake.adminAttributes = SE_GROUP_USE_FOR_DENY_ONLY;
    char log[MAX_PATH];
    GetTempPathA(MAX_PATH, log);
    lstrcatA(log, "PkgMgrSetup.log");
    DeleteFileA(log);
    const struct {
        const char* line;
        const char* caption;  // null: silent, nothing shown
    } cases[] = {
        {"/?", "Installation Program"}, {"/h /L", "Installation Program"}, {"/HELP /F", "Installation Program"},
        {"/U /help", "Uninstallation Program"}, {"/S /?", nullptr}, {"/h/S/U/L", nullptr},
    };
    for (const auto& c : cases) {
        shownMessages.clear();
        EXPECT_EQ(0, runSetup(c.line)) << c.line;
        EXPECT_EQ(kBefore, readResultValue()) << c.line;
        if (!c.caption) {
            EXPECT_TRUE(shownMessages.empty()) << c.line;
            continue;
        }
        ASSERT_EQ(1u, shownMessages.size()) << c.line;
        EXPECT_EQ(0u, shownMessages[0].text.find(resourceText(IDS_HELP_SWITCHES)));
        EXPECT_NE(std::string::npos, shownMessages[0].text.find(resourceText(IDS_HELP_GUIDE)));
        EXPECT_EQ(c.caption, shownMessages[0].caption);
        EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), shownMessages[0].type);
    }
    EXPECT_EQ(0, setupDataLooks);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(log));
}

// A program folder on a drive without media (an empty card reader): the system asks
// for the disk in a box unless the run turned that off at its start, and a silent run
// would wait on it unseen. The drive answers ERROR_NOT_READY instead, and its files are
// out of reach: the removal fails in the file phase (000A), before any record goes.
const char kNoMediaFolder[] = "E:\\Programs\\PkgMgr";

DWORD WINAPI driveWithoutMedia(LPCSTR path)
{
    if (strncmp(path, "E:", 2) != 0)
        return GetFileAttributesA(path);
    SetLastError(ERROR_NOT_READY);
    return INVALID_FILE_ATTRIBUTES;
}

int optionsOnDriveWithoutMedia(int32_t* cancelled, InstallSettings* settings, char* previous, uint32_t flags)
{
    optionsAccepted(cancelled, settings, previous, flags);
    lstrcpynA(settings->sourceFolder, kNoMediaFolder, 260);  // the recorded program folder
    return 1;
}

TEST_F(SetupRun, DriveWithoutMediaAsksNothingAndIsOutOfReach)
{
    setupSteps.locateSetupData = dataFound;
    setupSteps.runOptionsStep = optionsOnDriveWithoutMedia;
    platform.GetFileAttributesA = driveWithoutMedia;
    SetErrorMode(0);
    expectResult("/S /U", 10);
    const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    EXPECT_EQ(quiet, SetErrorMode(0) & quiet);
}

// The report chosen for each outcome, read as a user would see it.
struct ReportCase {
    uint32_t runFlags;
    int succeeded;
    int resultCode;
    const char* text;
    const char* caption;
    UINT type;
};

TEST(FinalReport, TextAndCaptionPerResultCode)
{
    SeamGuard guard;
    recordMessages();
    const ReportCase cases[] = {
        {1, 0, 8, "Failed in operation for initialization.", "Installation Program", MB_ICONWARNING},
        {0, 0, 8, "Failed in operation for initialization.", "Uninstallation Program", MB_ICONWARNING},
        {1, 0, 9, "Failed in operation for files.", "Installation Program", MB_ICONWARNING},
        {0, 0, 10, "Failed in operation for files.", "Uninstallation Program", MB_ICONWARNING},
        {1, 0, 11, "Failed in operation for registration.", "Installation Program", MB_ICONWARNING},
        {0, 0, 11, "Failed in operation for registration.", "Uninstallation Program", MB_ICONWARNING},
        {1, 0, 12, "Failed in operation for registration.", "Installation Program", MB_ICONWARNING},
        {0, 0, 12, "Failed in operation for registration.", "Uninstallation Program", MB_ICONWARNING},
        {1, 0, 13,
         "Please install Microsoft Windows NT4.0 Service Pack 4 or later, before installing this "
         "program.",
         "Can not start the installation.", MB_ICONWARNING},
        {1, 0, 15, "This operating system is not supported.", "Can not start the installation.",
         MB_ICONWARNING},
        {0, 0, 15, "This operating system is not supported.", "Can not start the installation.",
         MB_ICONWARNING},
        {1, 1, 0, "Completed.", "Installation Program", MB_ICONINFORMATION},
        {0x105, 1, 0, "Completed.", "Installation Program", MB_ICONINFORMATION},
        {0, 1, 0, "Completed.", "Uninstallation Program", MB_ICONINFORMATION},
    };
    for (const ReportCase& c : cases) {
        SetupContext run = {};
        run.runFlags = c.runFlags;
        run.succeeded = c.succeeded;
        run.resultCode = c.resultCode;
        shownMessages.clear();
        showFinalReport(run);
        ASSERT_EQ(1u, shownMessages.size()) << c.resultCode;
        EXPECT_EQ(c.text, shownMessages[0].text) << c.resultCode;
        EXPECT_EQ(c.caption, shownMessages[0].caption) << c.resultCode;
        EXPECT_EQ(c.type, shownMessages[0].type) << c.resultCode;
    }
    EXPECT_EQ(0, restartPrompts);
}

TEST(FinalReport, RestartPromptReplacesSuccessMessageOnly)
{
    SeamGuard guard;
    recordMessages();
    SetupContext run = {};
    run.runFlags = 1;
    run.succeeded = 1;
    run.restartNeeded = 1;
    showFinalReport(run);
    EXPECT_EQ(1, restartPrompts);
    EXPECT_TRUE(shownMessages.empty());

    run.succeeded = 0;  // a failure while the application runs is reported as usual
    run.resultCode = 9;
    showFinalReport(run);
    EXPECT_EQ(1, restartPrompts);
    ASSERT_EQ(1u, shownMessages.size());
    EXPECT_EQ("Failed in operation for files.", shownMessages[0].text);
}

TEST(FinalReport, SilentOrNoReportShowsNothingNotEvenTheRestartPrompt)
{
    SeamGuard guard;
    recordMessages();
    for (uint32_t flags : {0x3u, 0x201u, 0x2u, 0x200u}) {
        SetupContext run = {};
        run.runFlags = flags;
        run.succeeded = 1;
        run.restartNeeded = 1;
        showFinalReport(run);
        run.succeeded = 0;
        run.resultCode = 12;
        showFinalReport(run);
    }
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_EQ(0, restartPrompts);
}

TEST(RightsChecks, RealTokenUnderWineIsAnAdministrator)
{
    EXPECT_EQ(1, isAdministrator());
    EXPECT_EQ(1, enableTakeOwnership());
}

TEST(RightsChecks, AdministratorsGroupMustBeEnabled)
{
    SeamGuard guard;
    fake = FakeGroups();
    platform.GetTokenInformation = fakeGetTokenInformation;
    fake.adminAttributes = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY;
    EXPECT_EQ(1, isAdministrator());
    fake.adminAttributes = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT;
    EXPECT_EQ(0, isAdministrator());
    fake.adminAttributes = SE_GROUP_USE_FOR_DENY_ONLY;
    EXPECT_EQ(0, isAdministrator());
}

TEST(Resources, StringTableHoldsEveryMessage)
{
    EXPECT_EQ("This program will be installed in the following folder:", resourceText(2));
    EXPECT_EQ(resourceText(2), resourceText(19));
    EXPECT_EQ("Failed in operation for %s.", resourceText(7));
    EXPECT_EQ("Software Installer", resourceText(18));
    for (UINT id : {0u, 1u, 17u})
        EXPECT_EQ("", resourceText(id)) << id;
}

const UINT kHelpParts[] = {IDS_HELP_SWITCHES,   IDS_HELP_MORE_SWITCHES,   IDS_HELP_LAST_SWITCHES,
                           IDS_HELP_EXIT_CODES, IDS_HELP_MORE_EXIT_CODES, IDS_HELP_GUIDE};

// The English help: each part whole in a 260-character buffer, the switches, the way to
// write a log path and the guide named in it.
TEST(Resources, TheHelpIsInTheEnglishTable)
{
    for (UINT id : kHelpParts) {
        WCHAR* whole = nullptr;
        int length = LoadStringW(GetModuleHandleA(nullptr), id, reinterpret_cast<WCHAR*>(&whole), 0);
        EXPECT_TRUE(length > 0 && length < 260) << id << ": " << length;
    }
    const std::string switches = resourceText(IDS_HELP_SWITCHES) + resourceText(IDS_HELP_MORE_SWITCHES) +
                                 resourceText(IDS_HELP_LAST_SWITCHES);
    for (const char* option : {"/S", "/U", "/O", "/W", "/F", "/L=path", "/R", "/?", "/H", "3010",
                               "may use / or \\", "\"/L=C:\\My Logs\\setup.log\""})
        EXPECT_NE(std::string::npos, switches.find(option)) << option;
    EXPECT_NE(std::string::npos,
              resourceText(IDS_HELP_GUIDE).find("\"Deploying to many machines\" (docs/deploying.md)"));
}

// A run whose language is one of the other thirteen (German here: the case setup_run_german
// runs this program under a German locale) shows its own caption and its own help, whose
// exit codes are one paragraph over two parts.
TEST(Resources, AGermanRunShowsTheHelpInGerman)
{
    const char* expected = getenv("PKGMGR_EXPECT_LANGUAGE");
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_GERMAN) {
        ASSERT_EQ(nullptr, expected) << "the locale did not give German";
        GTEST_SKIP() << "not a German run";
    }
    SeamGuard guard;
    recordMessages();
    showCommandLineHelp(GetModuleHandleA(nullptr), 0x1);
    ASSERT_EQ(1u, shownMessages.size());
    const std::string& text = shownMessages[0].text;
    EXPECT_EQ("Installationsprogramm", shownMessages[0].caption);
    EXPECT_EQ(0u, text.find("setup.exe [/S] [/U]")) << text;
    for (const char* part : {"/W  keine Symbole\n/F  kein Abschlussbericht\n",
                             "setzen:\n\"/L=C:\\My Logs\\setup.log\"\n/R  ", "Exitcodes: 0 installiert",
                             "10 Entfernen der Dateien; 11 Symbole", ".\n\nUnbeaufsichtigte Installation",
                             "\"Deploying to many machines\" (docs/deploying.md)."})
        EXPECT_NE(std::string::npos, text.find(part)) << part << "\n" << text;
    char none[8] = "x";
    loadSetupText(17, none, sizeof none);
    EXPECT_STREQ("", none) << "no table holds it";
}

// A run under another locale (setup_run_german, setup_run_japanese) shows the help of its
// language, not the English one, with every part whole in the system's code page.
TEST(Resources, ALocaleRunShowsItsWholeHelp)
{
    const char* expected = getenv("PKGMGR_EXPECT_LANGUAGE");
    if (expected == nullptr)
        GTEST_SKIP() << "not a run under another locale";
    ASSERT_EQ(strtoul(expected, nullptr, 16), GetUserDefaultUILanguage());
    SeamGuard guard;
    recordMessages();
    showCommandLineHelp(GetModuleHandleA(nullptr), 0x1);
    ASSERT_EQ(1u, shownMessages.size());
    const std::string& message = shownMessages[0].text;
    EXPECT_NE("Installation Program", shownMessages[0].caption);
    EXPECT_EQ(std::string::npos, message.find("/S  silent")) << message;
    for (UINT id : kHelpParts) {
        WCHAR* whole = nullptr;
        int length = LoadStringW(GetModuleHandleA(nullptr), id, reinterpret_cast<WCHAR*>(&whole), 0);
        char text[4 * 260];
        int size = WideCharToMultiByte(CP_ACP, 0, whole, length, text, sizeof text, nullptr, nullptr);
        EXPECT_TRUE(size > 0 && size < 260) << id << ": " << size << " bytes";
        EXPECT_NE(std::string::npos, message.find(std::string(text, size > 0 ? size : 0))) << id;
    }
}

struct DestroyIconValue {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

// Every size the system asks for finds a full-colour image of its own in icon 100 (a
// 32-bit bitmap, or a PNG at 64 and 256 pixels), and the image loads at that size.
TEST(Resources, TheIconHasAnImageOfEverySize)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDI_SETUP), RT_GROUP_ICON);
    ASSERT_TRUE(group != nullptr);
    BYTE* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_TRUE(directory != nullptr);
    for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
        int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), RT_ICON);
        ASSERT_TRUE(image != nullptr) << size;
        BYTE* bits = static_cast<BYTE*>(LockResource(LoadResource(module, image)));
        DWORD length = SizeofResource(module, image);
        ASSERT_TRUE(bits != nullptr && length > sizeof(BITMAPINFOHEADER)) << size;
        if (memcmp(bits, "\x89PNG", 4) == 0)
            EXPECT_TRUE(size == 64 || size == 256) << size;
        else
            EXPECT_EQ(32, reinterpret_cast<BITMAPINFOHEADER*>(bits)->biBitCount) << size;
        // Width and height 0: the image at its own size, not scaled.
        HICON loaded = CreateIconFromResourceEx(bits, length, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
        UniqueResource<HICON, DestroyIconValue> icon(loaded);
        ICONINFO parts = {};
        ASSERT_TRUE(icon && GetIconInfo(icon.get(), &parts)) << size;
        UniqueResource<HGDIOBJ, DeleteGdiObject> colour(parts.hbmColor), mask(parts.hbmMask);
        BITMAP bitmap = {};
        ASSERT_TRUE(GetObjectA(colour.get(), sizeof bitmap, &bitmap)) << size;
        EXPECT_EQ(size, bitmap.bmWidth);
        EXPECT_EQ(size, bitmap.bmHeight);
    }
}

}  // namespace
