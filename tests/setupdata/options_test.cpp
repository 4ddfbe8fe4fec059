// The install options step and its dialog under Wine: silent decisions from the setup
// folder, the registry and existing shortcuts; the dialog driven from a second thread
// as a user would drive it; the folder browser; and whole runs that the user cancels.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "actions/machine.h"
#include "platform/seam.h"
#include "resources/resource.h"
#include "setup/context.h"
#include "setupdata/run_flags.h"
#include "setup/run_test_support.h"
#include "setupdata/options.h"
#include "setupdata/setup_data.h"

namespace {

const char kProductKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const char kButtonKey[] =
    "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{7B3E9C41-A52D-4e8b-9F06-D2C4817E35AB}";
const char kNewName[] = "Package Manager";
const char kOldName[] = "Old Manager";
const char kRelease[] = "[RELEASE]\r\nNAME=Package Manager\r\nVERSION=3.02.0000\r\n[ZEM]\r\nXRELEASE=1\r\n";
const char kSettings[] =
    "[INIT]\r\nTARGET=PkgMgr Test\r\nGROUP=Veltrano Test\r\n[RADAR]\r\nFILE=radar.dat\r\n";
const char kSettingsNoRadar[] = "[INIT]\r\nTARGET=PkgMgr Test\r\nGROUP=Veltrano Test\r\n";
const char kSettingsNoTarget[] = "[INIT]\r\nGROUP=Veltrano Test\r\n[RADAR]\r\nFILE=radar.dat\r\n";
const char kSettingsNoGroup[] = "[INIT]\r\nTARGET=PkgMgr Test\r\n[RADAR]\r\nFILE=radar.dat\r\n";
const char kInstalledFolder[] = "C:\\Apps\\Old Manager";

std::string packageFolder;  // where the setup "runs" from



DWORD WINAPI fakeModulePath(HMODULE, LPSTR path, DWORD size)
{
    lstrcpynA(path, (packageFolder + "\\setup.exe").c_str(), int(size));
    return DWORD(strlen(path));
}

std::string shellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
    return path;
}

std::string registryText(const std::string& key, const char* name)
{
    StoredValue value = storedValue(key, name);
    return value.second == kAbsent ? kAbsent : std::string(value.second.c_str());
}

std::string programFiles()
{
    return registryText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
}

std::string menuGroup()
{
    return shellFolder(CSIDL_COMMON_PROGRAMS) + "\\Veltrano Test";
}

// The records an earlier run left in the product key; null: not written.
struct Records {
    const char* progDir;
    const char* name;
    const char* version;
    const char* menuDir;
    int internetFunction;  // -1: not written
};
const Records kNoRecords = {nullptr, nullptr, nullptr, nullptr, -1};
const Records kEarlier = {kInstalledFolder, kOldName, "3.01.0000", "C:\\Menu\\Old", -1};

void writeRecords(const Records& r)
{
    deleteTree(kProductKey);
    const std::pair<const char*, const char*> texts[] = {
        {"ProgDir", r.progDir}, {"Name", r.name}, {"Version", r.version}, {"MenuDir", r.menuDir}};
    for (const auto& text : texts)
        if (text.second)
            setValue(kProductKey, text.first, textValue(text.second));
    if (r.internetFunction >= 0)
        setValue(kProductKey, "InternetFunction", numberValue(DWORD(r.internetFunction)));
}

// Shortcut files named after the products; the existence tests look only for the name.
enum Shortcut { kDesktopNew = 1, kDesktopOld = 2, kStartNew = 4, kStartOld = 8 };

void placeShortcuts(int which)
{
    const std::string desktop = shellFolder(CSIDL_DESKTOPDIRECTORY);
    const std::string start = shellFolder(CSIDL_COMMON_STARTMENU);
    const std::pair<int, std::string> files[] = {
        {kDesktopNew, desktop + "\\" + kNewName + ".lnk"},
        {kDesktopOld, desktop + "\\" + kOldName + ".lnk"},
        {kStartNew, start + "\\" + kNewName + ".lnk"},
        {kStartOld, start + "\\" + kOldName + ".lnk"},
    };
    for (const auto& file : files) {
        if (which & file.first)
            writeFile(file.second, "");
        else
            DeleteFileA(file.second.c_str());
    }
}

// What the user sees of dialog 101.
struct DialogView {
    std::string folder;
    std::string label;
    bool folderReadOnly = false;
    bool browseEnabled = false;
    bool cancelEnabled = false;
    bool boxesVisible[2] = {};
    LRESULT checks[2] = {-1, -1};
};

std::string windowText(HWND window)
{
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

const int kBoxes[2] = {IDC_DESKTOP_ICON, IDC_STARTMENU_ICON};

DialogView viewOf(HWND dialog)
{
    DialogView view;
    view.folder = windowText(GetDlgItem(dialog, IDC_FOLDER));
    view.label = windowText(GetDlgItem(dialog, IDC_FOLDER_LABEL));
    view.folderReadOnly = (GetWindowLongA(GetDlgItem(dialog, IDC_FOLDER), GWL_STYLE) & ES_READONLY) != 0;
    view.browseEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_BROWSE)) != FALSE;
    view.cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != FALSE;
    for (int i = 0; i < 2; ++i) {
        view.boxesVisible[i] = IsWindowVisible(GetDlgItem(dialog, kBoxes[i])) != FALSE;
        view.checks[i] = SendDlgItemMessageA(dialog, kBoxes[i], BM_GETCHECK, 0, 0);
    }
    return view;
}

void click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

void typeFolder(HWND dialog, const char* text)
{
    SendDlgItemMessageA(dialog, IDC_FOLDER, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void closeWithTitleBarBox(HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

template <class Test>
bool waitFor(Test test, int milliseconds = 10000)
{
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (test())
            return true;
        Sleep(10);
    }
    return test();
}

// Acts on dialog 101 from a second thread while the test's main thread sits in the
// modal dialog: waits for the dialog to show, runs `script`, then makes sure it ended.
class Driver {
public:
    explicit Driver(std::function<void(HWND)> script)
        : thread_([this, script] {
              const std::string title = resourceText(IDS_INSTALL_TITLE);
              HWND dialog = nullptr;
              if (!waitFor([&] {
                      dialog = FindWindowA("#32770", title.c_str());
                      return dialog && IsWindowVisible(dialog);
                  }))
                  return;
              found_ = true;
              script(dialog);
              if (!waitFor([&] { return !IsWindow(dialog); }, 5000)) {
                  stuck_ = true;
                  closeWithTitleBarBox(dialog);
              }
          })
    {
    }
    ~Driver() { join(); }
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    bool found() const { return found_; }
    bool stuck() const { return stuck_; }

private:
    std::atomic<bool> found_{false};
    std::atomic<bool> stuck_{false};
    std::thread thread_;
};

int answer;  // what the removal question returns
std::vector<ShownMessage> questions;

int WINAPI answerQuestion(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    questions.push_back({text ? text : "", caption ? caption : "(default)", type});
    return answer;
}

class OptionsStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform.GetModuleFileNameA = fakeModulePath;
        platform.MessageBoxA = answerQuestion;
        questions.clear();
        answer = IDYES;
        deleteTree(kProductKey);
        deleteTree(kButtonKey);
        placeShortcuts(0);
        descriptorMode = 0;
        preparePackage(kSettings);
    }
    void TearDown() override
    {
        releaseSetupData();
        descriptorMode = 0;
        deleteTree(kProductKey);
        deleteTree(kButtonKey);
        placeShortcuts(0);
    }

    // A setup folder of its own for every package, so that no cached profile is read.
    void preparePackage(const char* settings, const char* release = kRelease)
    {
        static int count;
        releaseSetupData();
        packageFolder = tempFolder() + "pkgmgr-options-" + std::to_string(++count);
        makeFolders(packageFolder);
        writeFile(packageFolder + "\\ZemSetup.dat", settings);
        writeFile(packageFolder + "\\PkgMgr.zem", release);
        locateSetupData(GetModuleHandleA(nullptr), kRunInstall);
        // A release file without a version is unusable to the locator; the readers
        // are pointed at it all the same.
        copyText(settingsFilePath, kPathChars, (packageFolder + "\\ZemSetup.dat").c_str());
        copyText(releaseFilePath, kPathChars, (packageFolder + "\\PkgMgr.zem").c_str());
    }

    int run(uint32_t flags)
    {
        memset(&settings, 0x00, sizeof settings);
        memset(previousVersion, 0, sizeof previousVersion);
        cancelled = 7;
        return runOptionsStep(&cancelled, &settings, previousVersion, flags);
    }

    // Runs the step with the dialog driven by `script`; `view` gets what it showed.
    int runDriven(uint32_t flags, std::function<void(HWND)> script, DialogView* view = nullptr)
    {
        Driver driver([&, script](HWND dialog) {
            if (view)
                *view = viewOf(dialog);
            script(dialog);
        });
        int result = run(flags);
        driver.join();
        EXPECT_TRUE(driver.found()) << "the dialog did not show";
        EXPECT_FALSE(driver.stuck()) << "the dialog stayed open after the script";
        return result;
    }

    SeamGuard guard_;
    InstallSettings settings;
    char previousVersion[kPathChars];
    int32_t cancelled;
};

const uint32_t kSilentInstall = kRunInstall | kRunSilent;

TEST_F(OptionsStep, FreshInstallationTakesTheDefaultTarget)
{
    ASSERT_EQ(1, run(kSilentInstall));
    EXPECT_EQ(0, cancelled);
    EXPECT_EQ(kSilentInstall | kRunFreshInstall, settings.runFlags);
    EXPECT_STREQ(kNewName, settings.productName);
    EXPECT_STREQ("3.02.0000", settings.productVersion);
    EXPECT_EQ(packageFolder, settings.sourceFolder);
    const std::string folder = programFiles() + "\\PkgMgr Test";
    EXPECT_EQ(folder, settings.programFolder);
    EXPECT_EQ(folder + "\\\\PkgMgr.exe", settings.programPath);
    EXPECT_EQ(menuGroup(), settings.menuFolder);
    EXPECT_EQ(menuGroup() + "\\" + kNewName + ".lnk", settings.menuShortcut);
    EXPECT_EQ(1, settings.internetFunction);
    EXPECT_EQ(1, settings.browserButton);
    EXPECT_EQ(0, settings.desktopIcon);
    EXPECT_EQ(0, settings.startMenuIcon);
    EXPECT_STREQ("", settings.previousName);
    EXPECT_STREQ("", settings.previousMenuShortcut);
    EXPECT_STREQ("", previousVersion);
}

TEST_F(OptionsStep, EarlierInstallationKeepsItsFolderAndNames)
{
    Records records = kEarlier;
    records.version = "03010000";  // the packed form is normalised
    writeRecords(records);
    ASSERT_EQ(1, run(kSilentInstall));
    EXPECT_EQ(kSilentInstall, settings.runFlags) << "not fresh";
    EXPECT_STREQ(kInstalledFolder, settings.programFolder);
    EXPECT_EQ(std::string(kInstalledFolder) + "\\\\PkgMgr.exe", settings.programPath);
    EXPECT_STREQ(kOldName, settings.previousName);
    EXPECT_STREQ("3.01.0000", previousVersion);
    EXPECT_EQ(menuGroup() + "\\" + kOldName + ".lnk", settings.previousMenuShortcut);
    EXPECT_EQ(menuGroup() + "\\" + kNewName + ".lnk", settings.menuShortcut);
    EXPECT_STREQ(kNewName, settings.productName);
}

// A recorded (or typed) folder goes on in one spelling, so that a folder at a drive's
// root is known as one however it was written; the unparsed form is refused.
TEST_F(OptionsStep, ProgramFolderTakesItsOneSpelling)
{
    const struct {
        const char* recorded;
        int result;
        const char* folder;
    } cases[] = {
        {"C:\\\\Veltrano", 1, "C:\\Veltrano"},
        {"C:\\.\\Veltrano\\", 1, "C:\\Veltrano"},
        {"C:\\Temp\\..\\Veltrano", 1, "C:\\Veltrano"},
        {"\\\\?\\C:\\Veltrano", 0, nullptr},
    };
    for (const auto& c : cases) {
        Records records = kEarlier;
        records.progDir = c.recorded;
        writeRecords(records);
        EXPECT_EQ(c.result, run(kSilentInstall)) << c.recorded;
        if (c.folder) {
            EXPECT_STREQ(c.folder, settings.programFolder) << c.recorded;
            EXPECT_EQ(std::string(c.folder) + "\\\\PkgMgr.exe", settings.programPath) << c.recorded;
        }
    }
}

// A program folder that exists already must belong to the administrators (or the
// system, or the user who runs the setup), and so must every existing folder above it:
// a standard user who made "C:\Veltrano" first could replace the program's files later.
// A link counts by its own owner (faked: Wine keeps none), whatever it points to.
TEST_F(OptionsStep, FolderThatAnotherUserOwnsIsRefused)
{
    const std::string owned = "C:\\PkgMgrOwned";
    const std::string missing = "C:\\PkgMgrNever";
    const std::string linked = "C:\\PkgMgrLinked";
    removeTree(owned);
    removeTree(missing);
    removeLink(linked);
    makeFolders(owned);
    ASSERT_TRUE(makeLink(linked, owned));
    fakeOwnersAndLinks();
    const struct {
        std::string folder;
        FakeOwner owner;  // of `owned`, also as the link's handle names it
        int result;
        Names queries;
    } cases[] = {
        {owned, FakeOwner::otherUser, 0, {owned}},
        {owned + "\\New", FakeOwner::otherUser, 0, {owned}},  // made below another's folder
        {owned, FakeOwner::administrators, 1, {owned}},
        {owned + "\\New", FakeOwner::none, 1, {owned}},   // a volume without owners (FAT)
        {owned, FakeOwner::unreadable, 0, {owned}},  // an owner hidden from us
        {missing + "\\New", FakeOwner::otherUser, 1, {}},  // nothing there yet: made by this run
        {linked + "\\New", FakeOwner::otherUser, 0, {owned}},  // a link that another user made
        // An administrator's link keeps working; the folder it leads to is checked too.
        {linked, FakeOwner::administrators, 1, {owned, owned}},
    };
    for (const auto& c : cases) {
        // Made again for each case: a link that Wine no longer shows would pass unseen.
        ASSERT_TRUE(makeLink(linked, owned));
        Records records = kEarlier;
        records.progDir = c.folder.c_str();
        writeRecords(records);
        fakedNames = {{owned, c.owner, 0}};
        ownerQueries.clear();
        EXPECT_EQ(c.result, run(kSilentInstall)) << c.folder;
        EXPECT_EQ(c.queries, ownerQueries) << c.folder;
    }
    fakedNames.clear();
    removeLink(linked);
    removeTree(owned);
}

TEST_F(OptionsStep, RecordWithoutVersionCountsAsFreshButNamesThePreviousProduct)
{
    writeRecords({kInstalledFolder, kOldName, nullptr, nullptr, -1});
    placeShortcuts(kDesktopOld | kStartOld);
    ASSERT_EQ(1, run(kSilentInstall));
    EXPECT_EQ(kSilentInstall | kRunFreshInstall, settings.runFlags);
    EXPECT_EQ(programFiles() + "\\PkgMgr Test", settings.programFolder);
    EXPECT_STREQ(kOldName, settings.previousName);
    EXPECT_EQ(menuGroup() + "\\" + kOldName + ".lnk", settings.previousMenuShortcut);
    EXPECT_STREQ("", previousVersion);
    EXPECT_EQ(0, settings.desktopIcon) << "the old name's shortcuts count only for an earlier installation";
    EXPECT_EQ(0, settings.startMenuIcon);
}

TEST_F(OptionsStep, StoredInternetChoiceCountsAfterVersionThree)
{
    struct Case {
        const char* version;  // null: fresh installation
        int stored;           // -1: no value
        int expected;         // internetFunction and browserButton
    };
    const Case cases[] = {
        {"3.00.0000", 0, 1}, {"3.01.0000", 0, 0}, {"03010000", 0, 0}, {"2.50.0000", 0, 1},
        {"3.01.0000", 1, 1}, {"3.01.0000", -1, 1}, {nullptr, 0, 0},    {nullptr, -1, 1},
    };
    for (const Case& c : cases) {
        Records records = kEarlier;
        records.internetFunction = c.stored;
        if (c.version)
            records.version = c.version;
        else
            records.progDir = records.name = records.version = nullptr;
        writeRecords(records);
        ASSERT_EQ(1, run(kSilentInstall));
        const std::string label = std::string(c.version ? c.version : "fresh") + " stored " +
                                  std::to_string(c.stored);
        EXPECT_EQ(c.expected, settings.internetFunction) << label;
        EXPECT_EQ(c.expected, settings.browserButton) << label;
    }
}

TEST_F(OptionsStep, ExistingShortcutsPresetTheIcons)
{
    struct Case {
        bool earlier;
        int shortcuts;
        int desktop, startMenu;
    };
    const Case cases[] = {
        {false, 0, 0, 0},
        {false, kDesktopNew, 1, 0},
        {false, kStartNew, 0, 1},
        {false, kDesktopOld | kStartOld, 0, 0},  // no earlier name without records
        {true, 0, 0, 0},
        {true, kDesktopOld | kStartOld, 1, 1},
        {true, kDesktopNew | kStartOld, 1, 1},
        {true, kStartNew, 0, 1},
    };
    for (const Case& c : cases) {
        writeRecords(c.earlier ? kEarlier : kNoRecords);
        placeShortcuts(c.shortcuts);
        ASSERT_EQ(1, run(kSilentInstall));
        EXPECT_EQ(c.desktop, settings.desktopIcon) << c.earlier << " shortcuts " << c.shortcuts;
        EXPECT_EQ(c.startMenu, settings.startMenuIcon) << c.earlier << " shortcuts " << c.shortcuts;
    }
}

TEST_F(OptionsStep, NoShortcutsOptionTakesTheButtonFromTheBrowser)
{
    const uint32_t flags = kSilentInstall | kRunNoShortcuts;
    ASSERT_EQ(1, run(flags));
    EXPECT_EQ(1, settings.internetFunction);
    EXPECT_EQ(0, settings.browserButton) << "no button registered";
    EXPECT_EQ(flags | kRunFreshInstall, settings.runFlags);

    setValue(kButtonKey, "ButtonText", textValue("Software Installer"));
    preparePackage(kSettingsNoRadar);
    ASSERT_EQ(1, run(flags));
    EXPECT_EQ(0, settings.internetFunction);
    EXPECT_EQ(1, settings.browserButton) << "button registered";
}

TEST_F(OptionsStep, MissingSetupValuesFailTheStep)
{
    struct Case {
        const char* what;
        const char* settingsText;
        const char* release;
        bool earlier;
        int expected;
    };
    const Case cases[] = {
        {"no TARGET, fresh", kSettingsNoTarget, kRelease, false, 0},
        {"no TARGET, earlier installation", kSettingsNoTarget, kRelease, true, 1},
        {"no GROUP", kSettingsNoGroup, kRelease, true, 0},
        {"no release version", kSettings, "[RELEASE]\r\nNAME=Package Manager\r\n[ZEM]\r\nXRELEASE=1\r\n",
         true, 0},
        {"no release name", kSettings, "[RELEASE]\r\nVERSION=3.02.0000\r\n[ZEM]\r\nXRELEASE=1\r\n",
         true, 0},
    };
    for (const Case& c : cases) {
        preparePackage(c.settingsText, c.release);
        writeRecords(c.earlier ? kEarlier : kNoRecords);
        EXPECT_EQ(c.expected, run(kSilentInstall)) << c.what;
    }
    // Without GROUP the paths are still formed from the empty menu folder.
    preparePackage(kSettingsNoGroup);
    writeRecords(kEarlier);
    ASSERT_EQ(0, run(kSilentInstall));
    EXPECT_EQ(std::string(kInstalledFolder) + "\\\\PkgMgr.exe", settings.programPath);
    EXPECT_EQ(std::string("\\") + kOldName + ".lnk", settings.previousMenuShortcut);
}

TEST_F(OptionsStep, RemovalWorksFromTheInstalledRecords)
{
    const std::string installed = tempFolder() + "pkgmgr-options-installed";
    makeFolders(installed);
    DeleteFileA((installed + "\\ZemSetup.xml").c_str());
    Records records = {nullptr, "Installed Manager", "2.05.0000", "C:\\Menu\\Installed", -1};
    records.progDir = installed.c_str();
    struct Case {
        const char* what;
        bool descriptor;
        int expectedMode;
    };
    for (const Case& c : {Case{"settings file", false, 0}, Case{"descriptor", true, 1}}) {
        if (c.descriptor)
            writeFile(installed + "\\ZemSetup.xml", "<?xml version=\"1.0\"?><build/>");
        writeRecords(records);
        descriptorMode = 0;
        ASSERT_EQ(1, run(kRunSilent)) << c.what;
        EXPECT_EQ(c.expectedMode, descriptorMode) << c.what;
        EXPECT_EQ(0, cancelled);
        EXPECT_EQ(uint32_t(kRunSilent), settings.runFlags);
        EXPECT_EQ(installed, settings.sourceFolder);
        EXPECT_STREQ("Installed Manager", settings.productName);
        EXPECT_STREQ("2.05.0000", settings.productVersion);
        EXPECT_STREQ("2.05.0000", previousVersion);
        EXPECT_STREQ("C:\\Menu\\Installed", settings.menuFolder);
        EXPECT_STREQ("C:\\Menu\\Installed\\Installed Manager.lnk", settings.menuShortcut);
    }
    EXPECT_TRUE(questions.empty()) << "silent removal asks nothing";
    removeTree(installed);

    // Without ProgDir, as a removal cut off after it leaves it: the rest is removed.
    writeRecords({nullptr, "N", "1.00.0000", "C:\\Menu", -1});
    EXPECT_EQ(1, run(kRunSilent));
    EXPECT_STREQ("", settings.sourceFolder);
    EXPECT_STREQ("N", settings.productName);
    // With ProgDir but no Name, as an installation cut off between them leaves it: its
    // files and records go; no shortcut is looked for.
    // Without MenuDir too, as an installation cut off before it leaves it: the menu
    // shortcut is not looked for.
    const struct {
        const char* what;
        Records records;
        const char* name;
    } cutOff[] = {
        {"no Name", {kInstalledFolder, nullptr, nullptr, nullptr, -1}, ""},
        {"no Version", {kInstalledFolder, "N", nullptr, nullptr, -1}, ""},
        {"no MenuDir", {kInstalledFolder, "N", "1.00.0000", nullptr, -1}, "N"},
    };
    for (const auto& m : cutOff) {
        writeRecords(m.records);
        EXPECT_EQ(1, run(kRunSilent)) << m.what;
        EXPECT_STREQ(kInstalledFolder, settings.sourceFolder) << m.what;
        EXPECT_STREQ(m.name, settings.productName) << m.what;
        EXPECT_STREQ("", settings.menuShortcut) << m.what;
    }
}

TEST_F(OptionsStep, RemovalQuestionYesGoesOnAndNoCancels)
{
    struct Case {
        int answer;
        bool menuDir;
        int expectedResult, expectedCancelled;
    };
    const Case cases[] = {{IDYES, true, 1, 0}, {IDNO, true, 1, 1}, {IDNO, false, 1, 1}, {IDYES, false, 1, 0}};
    for (const Case& c : cases) {
        Records records = kEarlier;
        if (!c.menuDir)
            records.menuDir = nullptr;
        writeRecords(records);
        questions.clear();
        answer = c.answer;
        EXPECT_EQ(c.expectedResult, run(0)) << c.answer << " " << c.menuDir;
        EXPECT_EQ(c.expectedCancelled, cancelled) << c.answer << " " << c.menuDir;
        ASSERT_EQ(1u, questions.size()) << "asked even when the menu folder is missing";
        EXPECT_EQ(resourceText(IDS_CONFIRM_REMOVAL), questions[0].text);
        EXPECT_EQ(resourceText(IDS_UNINSTALL_TITLE), questions[0].caption);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), questions[0].type);
    }
    writeRecords({nullptr, nullptr, nullptr, nullptr, -1});
    questions.clear();
    EXPECT_EQ(0, run(0));
    EXPECT_TRUE(questions.empty()) << "no question with nothing to remove";
}

// ---- The dialog, driven as a user would ----

TEST_F(OptionsStep, FreshDialogLetsTheUserChooseFolderAndIcons)
{
    DialogView view;
    std::vector<LRESULT> states;
    int result = runDriven(kRunInstall, [&](HWND dialog) {
        typeFolder(dialog, "D:\\Chosen Folder");
        click(dialog, IDC_STARTMENU_ICON);  // clear -> set
        states.push_back(SendDlgItemMessageA(dialog, IDC_STARTMENU_ICON, BM_GETCHECK, 0, 0));
        click(dialog, IDOK);
    }, &view);
    EXPECT_EQ(programFiles() + "\\PkgMgr Test", view.folder);
    EXPECT_EQ(resourceText(IDS_FOLDER_CHOOSE), view.label);
    EXPECT_EQ("This program will be installed in the following folder:", view.label);
    EXPECT_FALSE(view.folderReadOnly);
    EXPECT_TRUE(view.browseEnabled);
    EXPECT_TRUE(view.cancelEnabled);
    EXPECT_TRUE(view.boxesVisible[0] && view.boxesVisible[1]);
    EXPECT_EQ(BST_UNCHECKED, view.checks[0]);
    EXPECT_EQ(BST_UNCHECKED, view.checks[1]);
    EXPECT_EQ(std::vector<LRESULT>{BST_CHECKED}, states);

    ASSERT_EQ(1, result);
    EXPECT_EQ(0, cancelled);
    EXPECT_STREQ("D:\\Chosen Folder", settings.programFolder);
    EXPECT_STREQ("D:\\Chosen Folder\\\\PkgMgr.exe", settings.programPath);
    EXPECT_EQ(0, settings.desktopIcon);
    EXPECT_EQ(1, settings.startMenuIcon);
    EXPECT_EQ(1, settings.browserButton);
}

TEST_F(OptionsStep, EarlierInstallationFixesTheFolderAndGreysPresetBoxes)
{
    writeRecords(kEarlier);
    placeShortcuts(kDesktopOld | kStartNew);
    DialogView view;
    std::vector<LRESULT> states;
    int result = runDriven(kRunInstall, [&](HWND dialog) {
        for (int i = 0; i < 3; ++i) {  // grey -> clear -> set -> clear
            click(dialog, IDC_DESKTOP_ICON);
            states.push_back(SendDlgItemMessageA(dialog, IDC_DESKTOP_ICON, BM_GETCHECK, 0, 0));
        }
        click(dialog, IDOK);
    }, &view);
    EXPECT_EQ(kInstalledFolder, view.folder);
    EXPECT_EQ(resourceText(IDS_FOLDER_FIXED), view.label);
    EXPECT_NE(resourceText(IDS_FOLDER_CHOOSE), "") << "both texts are resources";
    EXPECT_TRUE(view.folderReadOnly);
    EXPECT_FALSE(view.browseEnabled);
    EXPECT_TRUE(view.cancelEnabled);
    EXPECT_EQ(BST_INDETERMINATE, view.checks[0]);
    EXPECT_EQ(BST_INDETERMINATE, view.checks[1]);
    EXPECT_EQ((std::vector<LRESULT>{BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED}), states);

    ASSERT_EQ(1, result);
    EXPECT_EQ(0, cancelled);
    EXPECT_STREQ(kInstalledFolder, settings.programFolder);
    EXPECT_EQ(0, settings.desktopIcon);
    EXPECT_EQ(1, settings.startMenuIcon) << "an untouched grey check counts as set";
}

TEST_F(OptionsStep, HiddenBoxesKeepTheirPresets)
{
    struct Case {
        const char* what;
        const char* settingsText;
        uint32_t flags;
        int expectedButton;  // on OK: whether the internet function is on
    };
    const Case cases[] = {
        {"/W", kSettings, kRunInstall | kRunNoShortcuts, 1},
        {"no RADAR", kSettingsNoRadar, kRunInstall, 0},
    };
    for (const Case& c : cases) {
        preparePackage(c.settingsText);
        placeShortcuts(kDesktopNew);
        DialogView view;
        ASSERT_EQ(1, runDriven(c.flags, [](HWND dialog) { click(dialog, IDOK); }, &view)) << c.what;
        EXPECT_FALSE(view.boxesVisible[0]) << c.what;
        EXPECT_FALSE(view.boxesVisible[1]) << c.what;
        EXPECT_EQ(1, settings.desktopIcon) << c.what;
        EXPECT_EQ(0, settings.startMenuIcon) << c.what;
        EXPECT_EQ(c.expectedButton, settings.browserButton) << c.what;
    }
}

// A folder that is not a full path is refused with a message, and the dialog stays
// for the user to correct it; the edit box takes no more than the folder's buffer.
TEST_F(OptionsStep, ARelativeFolderIsRefusedUntilCorrected)
{
    const char* const relative[] = {"", "PkgMgr", "C:PkgMgr", "\\PkgMgr", "..\\PkgMgr"};
    for (const char* typed : relative) {
        questions.clear();
        bool stayed = false;
        LRESULT limit = 0;
        ASSERT_EQ(1, runDriven(kRunInstall, [&](HWND dialog) {
            limit = SendDlgItemMessageA(dialog, IDC_FOLDER, EM_GETLIMITTEXT, 0, 0);
            typeFolder(dialog, typed);
            click(dialog, IDOK);
            stayed = IsWindow(dialog) && IsWindowVisible(dialog);
            typeFolder(dialog, "D:\\Typed");
            click(dialog, IDOK);
        })) << typed;
        EXPECT_TRUE(stayed) << typed;
        EXPECT_EQ(259, limit);
        ASSERT_EQ(1u, questions.size()) << typed;
        EXPECT_EQ(resourceText(IDS_FOLDER_INVALID), questions[0].text);
        EXPECT_EQ(resourceText(IDS_INSTALL_TITLE), questions[0].caption);
        EXPECT_STREQ("D:\\Typed", settings.programFolder);
        EXPECT_STREQ("D:\\Typed\\\\PkgMgr.exe", settings.programPath);
    }
}

TEST_F(OptionsStep, CancelAndTheCloseBoxCancel)
{
    struct Case {
        const char* what;
        uint32_t flags;
        bool closeBox;
        bool cancelEnabled;
    };
    const Case cases[] = {
        {"Cancel", kRunInstall, false, true},
        {"close box", kRunInstall, true, true},
        {"close box with /O", kRunInstall | kRunWaitAndOpen, true, false},
    };
    for (const Case& c : cases) {
        DialogView view;
        int result = runDriven(c.flags, [&](HWND dialog) {
            typeFolder(dialog, "D:\\Typed");
            click(dialog, IDC_DESKTOP_ICON);
            if (c.closeBox)
                closeWithTitleBarBox(dialog);
            else
                click(dialog, IDCANCEL);
        }, &view);
        EXPECT_EQ(c.cancelEnabled, view.cancelEnabled) << c.what;
        EXPECT_EQ(1, result) << c.what;
        EXPECT_EQ(1, cancelled) << c.what;
        EXPECT_EQ(programFiles() + "\\PkgMgr Test", settings.programFolder) << c.what;
        EXPECT_EQ(0, settings.desktopIcon) << c.what;
    }
}

TEST_F(OptionsStep, MissingTargetShowsTheDialogThenFails)
{
    preparePackage(kSettingsNoTarget);
    EXPECT_EQ(0, runDriven(kRunInstall, [](HWND dialog) { click(dialog, IDOK); }));
    EXPECT_EQ(0, cancelled);
}

// ---- The folder browser, opened from the Browse button ----

// The folder browser that the dialog's thread shows over `dialog`.
HWND findBrowser(HWND dialog)
{
    struct Search {
        HWND dialog;
        HWND found;
    } search = {dialog, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(dialog, nullptr),
        [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            char name[32] = "";
            GetClassNameA(window, name, sizeof name);
            if (window != s->dialog && strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct BrowserView {
    bool opened = false;
    std::string folderAfter;  // the edit box once the browser closed
};

// Opens the browser with Browse, presses `button` in it, then `dialogButton` in the dialog.
BrowserView browseAndPress(HWND dialog, int button, int dialogButton)
{
    BrowserView view;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_BROWSE)));
    HWND browser = nullptr;
    view.opened = waitFor([&] { return (browser = findBrowser(dialog)) != nullptr; });
    if (view.opened) {
        PostMessageA(browser, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(browser, button)));
        waitFor([&] { return !IsWindow(browser); });
    }
    view.folderAfter = windowText(GetDlgItem(dialog, IDC_FOLDER));
    click(dialog, dialogButton);
    return view;
}

TEST_F(OptionsStep, BrowserStartsAtAnExistingFolderOrAtProgramFiles)
{
    // The state of the browser's OK is checked on the callback alone (below): Wine's
    // browser greys it itself for folders under BIF_BROWSEFORCOMPUTER.
    enum Start { kMissing, kWritable };
    struct Case {
        const char* target;
        Start start;
        int button;  // pressed in the browser
    };
    const Case cases[] = {
        {"PkgMgr Missing", kMissing, IDCANCEL},
        {"PkgMgr Writable", kWritable, IDOK},
    };
    for (const Case& c : cases) {
        preparePackage(("[INIT]\r\nTARGET=" + std::string(c.target) + "\r\nGROUP=Veltrano Test\r\n").c_str());
        const std::string folder = programFiles() + "\\" + c.target;
        removeTree(folder);
        if (c.start != kMissing)
            makeFolders(folder);
        BrowserView view;
        // A missing folder is only seen in the buffer: cancel the dialog so that the edit
        // box does not overwrite it.
        const int dialogButton = c.start == kMissing ? IDCANCEL : IDOK;
        int result = runDriven(kRunInstall, [&](HWND dialog) { view = browseAndPress(dialog, c.button, dialogButton); });
        removeTree(folder);
        ASSERT_EQ(1, result) << c.target;
        ASSERT_TRUE(view.opened) << c.target;
        switch (c.start) {
        case kMissing:
            EXPECT_EQ(folder, view.folderAfter) << "a cancelled browser leaves the edit box";
            EXPECT_EQ(programFiles(), settings.programFolder) << "the browser opened at program files";
            break;
        case kWritable:
            EXPECT_EQ(folder, view.folderAfter);
            EXPECT_EQ(folder, settings.programFolder);
            break;
        }
    }
}

// What the callback asks of the browser window, recorded by a stand-in window.
struct BrowserRequests {
    std::vector<std::pair<UINT, LPARAM>> numbers;  // BFFM_ENABLEOK and its lParam
    std::vector<std::string> texts;                // BFFM_SETSELECTIONA, BFFM_SETSTATUSTEXTA
    HFONT font;                                    // what WM_GETFONT answers
} requests;

LRESULT CALLBACK recordRequests(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BFFM_ENABLEOK)
        requests.numbers.push_back({message, lParam});
    else if (message == BFFM_SETSELECTIONA && wParam == TRUE)
        requests.texts.push_back(std::string("select ") + reinterpret_cast<const char*>(lParam));
    else if (message == BFFM_SETSTATUSTEXTA)
        requests.texts.push_back(std::string("status ") + reinterpret_cast<const char*>(lParam));
    else if (message == WM_GETFONT)
        return reinterpret_cast<LRESULT>(requests.font);
    else
        return DefWindowProcA(window, message, wParam, lParam);
    return 0;
}

TEST_F(OptionsStep, BrowserCallbackAcceptsWritableFoldersAndFitsTheStatusLine)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = recordRequests;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OptionsTestBrowser";
    RegisterClassA(&windowClass);
    const std::string root = programFiles() + "\\PkgMgr Alpha";
    const std::string deep = root + "\\Beta\\Gamma\\Delta";
    // Wine keeps no read-only attribute on folders; a read-only file carries it instead.
    const std::string readOnly = root + "\\Locked.txt";
    makeFolders(deep);
    writeFile(readOnly, "");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);

    struct Case {
        const char* what;
        std::string path;
        int width;
        int fontHeight;  // of the browser's font; 0: none, the DC's own
        LPARAM enabled;
        bool copied;
    };
    // The path fits 1000 pixels in the DC's font, not in a font of 60 pixels: the
    // browser's font at a high DPI.
    const Case cases[] = {
        {"writable, wide", deep, 4000, 0, 1, true},
        {"writable, narrow", deep, 40, 0, 1, true},
        {"writable, in a large font", deep, 1000, 60, 1, true},
        {"read-only", readOnly, 4000, 0, 0, false},
    };
    for (const Case& c : cases) {
        HWND window = CreateWindowA("OptionsTestBrowser", "", WS_POPUP, 0, 0, c.width, 100, nullptr,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window);
        char folder[kPathChars] = "C:\\Before";
        requests = {};
        if (c.fontHeight)
            requests.font = CreateFontA(c.fontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
        LPITEMIDLIST item = ILCreateFromPathA(c.path.c_str());
        ASSERT_NE(nullptr, item) << c.what;
        EXPECT_EQ(0, browseCallback(window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item),
                                    reinterpret_cast<LPARAM>(folder)));
        ILFree(item);
        ASSERT_EQ(1u, requests.numbers.size()) << c.what;
        EXPECT_EQ(c.enabled, requests.numbers[0].second) << c.what;
        EXPECT_EQ(c.copied ? c.path : "C:\\Before", folder) << c.what;
        if (!c.copied) {
            EXPECT_TRUE(requests.texts.empty()) << c.what;
        } else if (c.width > 1000) {
            EXPECT_EQ(std::vector<std::string>{"status " + c.path}, requests.texts) << c.what;
        } else if (c.fontHeight) {
            // Shortened by some folders, not all: measured in the browser's font.
            ASSERT_EQ(1u, requests.texts.size()) << c.what;
            EXPECT_NE("status " + c.path, requests.texts[0]) << c.what;
            EXPECT_NE("status C: ... \\Delta", requests.texts[0]) << c.what;
        } else {
            // Too narrow for any path: shortened until one backslash is left.
            EXPECT_EQ(std::vector<std::string>{"status C: ... \\Delta"}, requests.texts) << c.what;
        }
        DestroyWindow(window);
        if (requests.font)
            DeleteObject(requests.font);
    }

    // Initialised with a folder that does not exist: program files is selected and
    // written into the folder buffer; an existing folder is selected as it is.
    HWND window = CreateWindowA("OptionsTestBrowser", "", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    for (const std::string& start : {programFiles() + "\\PkgMgr Nowhere", deep}) {
        char folder[kPathChars];
        copyText(folder, sizeof folder, start.c_str());
        requests = {};
        EXPECT_EQ(0, browseCallback(window, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(folder)));
        const std::string expected = start == deep ? deep : programFiles();
        EXPECT_EQ(expected, folder);
        EXPECT_EQ(std::vector<std::string>{"select " + expected}, requests.texts);
    }
    DestroyWindow(window);
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    removeTree(root);
}

// ---- Whole runs that the user cancels ----

TEST_F(OptionsStep, CancelledRunsEndAtOnceWithoutAResult)
{
    deleteResultValue();
    {
        Driver driver([](HWND dialog) { click(dialog, IDCANCEL); });
        EXPECT_EQ(0, runSetup(""));
        driver.join();
        EXPECT_TRUE(driver.found());
    }
    EXPECT_EQ("(none)", readResultValue());

    writeRecords(kEarlier);
    answer = IDNO;
    EXPECT_EQ(0, runSetup("/U"));
    EXPECT_EQ(1u, questions.size());
    EXPECT_EQ("(none)", readResultValue());
    EXPECT_EQ("3.01.0000", registryText(kProductKey, "Version")) << "nothing removed";
}

}  // namespace

// Wine on a display without a window manager waits two seconds for the manager each
// time a managed window is hidden, which every closed dialog pays. The test's own
// prefix is told to leave windows unmanaged; the display driver reads that when the
// process starts, so the first start sets it and runs the tests in a second process.
int main(int argc, char** argv)
{
    const char kX11Key[] = "Software\\Wine\\X11 Driver";
    char value[8] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kX11Key, "Managed", RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kX11Key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
            RegCloseKey(key);
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process = {};
            if (CreateProcessA(nullptr, GetCommandLineA(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process)) {
                WaitForSingleObject(process.hProcess, INFINITE);
                DWORD code = 1;
                GetExitCodeProcess(process.hProcess, &code);
                CloseHandle(process.hThread);
                CloseHandle(process.hProcess);
                return int(code);
            }
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
