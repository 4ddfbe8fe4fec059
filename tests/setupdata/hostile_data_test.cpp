// Hostile setup data: generated packages with over-long values, deep references,
// long lists, escaping folder names and broken descriptors. setup.exe runs on each
// as its own process with a time limit and must end with a clean result code, never
// a crash or a hang. The outcomes are listed in docs/hostile-setup-data.md; each run
// prints its row of that table.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>

#include <string>

#include "actions/machine.h"
#include "setup/run_test_support.h"

namespace {

const std::string kProductKey = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltranoSoftwareInstaller";
const DWORD kTimeLimit = 30000;
const DWORD kNoRemoval = 0xFFFF;  // the installation failed: nothing to remove

std::string repeat(const std::string& piece, int count, const std::string& separator = "")
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? separator : "") + piece;
    return text;
}

struct Setting {
    std::string target = "PkgMgr Hostile";
    std::string group = "PkgMgr Hostile";
    std::string search = "C:\\PkgMgr Hostile Search";
    std::string download = "\\PkgMgr Hostile Downloads";
    std::string radar = "FILE=radar";
    std::string strings;  // lines of [STRINGS]
    std::string name = "PkgMgr Hostile";
    std::string version = "1.03.0000";
    std::string xrelease = "1";

    std::string settingsFile() const
    {
        return "[INIT]\r\nTARGET=" + target + "\r\nGROUP=" + group + "\r\nDEFAULTSEARCH=" + search +
               "\r\nDOWNLOAD=" + download + "\r\n[RADAR]\r\n" + radar + "\r\n[STRINGS]\r\n" + strings;
    }
    std::string releaseFile() const
    {
        return "[RELEASE]\r\nNAME=" + name + "\r\nVERSION=" + version + "\r\n[ZEM]\r\nXRELEASE=" + xrelease +
               "\r\n";
    }
};

// A descriptor whose release holds `release`, with `before` ahead of the product
// element and `selectors` in it.
std::string descriptor(const std::string& release, const std::string& before = "",
                       const std::string& selectors = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<build>" + before + "<zem id=\"PKGMGR\">" + selectors +
           "<xrelease><release id=\"RELEASE\">" + release + "</release></xrelease></zem></build>\r\n";
}

const std::string kRelease = "<title>PkgMgr Hostile</title><version>1.03.0000</version>";

struct Hostile {
    std::string what;
    std::string settings;
    std::string release;     // PkgMgr.zem; none in descriptor mode
    std::string descriptor;  // QUVOZEM.xml
    DWORD install;           // expected exit codes
    DWORD removal;
    bool warned = false;     // setupcheck warns: it installs, but probably not as meant
    void (*alter)(const std::string& folder) = nullptr;  // changes the laid-out payload
    std::string reported = "";  // a text setupcheck's report must hold besides the result
};

Hostile warned(Hostile c)
{
    c.warned = true;
    return c;
}

Hostile altered(Hostile c, void (*alter)(const std::string& folder), const std::string& reported = "")
{
    c.alter = alter;
    c.reported = reported;
    return c;
}

// `text` (ASCII) in UTF-16 with its byte-order mark, little- or big-endian.
std::string utf16(const std::string& text, bool bigEndian = false)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        bytes += bigEndian ? '\0' : c;
        bytes += bigEndian ? c : '\0';
    }
    return bytes;
}

Hostile settingsCase(const std::string& what, const Setting& s, DWORD install, DWORD removal)
{
    return {what, s.settingsFile(), s.releaseFile(), "", install, removal};
}

Hostile descriptorCase(const std::string& what, const std::string& xml, DWORD install, DWORD removal)
{
    return {what, Setting().settingsFile(), "", xml, install, removal};
}

std::vector<Hostile> hostileCases()
{
    const std::string long300(300, 'v');
    std::vector<Hostile> cases;
    auto with = [](void (*change)(Setting&)) {
        Setting s;
        change(s);
        return s;
    };
    cases.push_back(settingsCase("the sample as it is", Setting(), 0, 0));
    // Every key 300 characters long.
    cases.push_back(settingsCase("TARGET of 300 characters", with([](Setting& s) { s.target = std::string(300, 't'); }), 8, kNoRemoval));
    cases.push_back(settingsCase("GROUP of 300 characters", with([](Setting& s) { s.group = std::string(300, 'g'); }), 8, kNoRemoval));
    cases.push_back(settingsCase("DEFAULTSEARCH of 300 characters", with([](Setting& s) { s.search = "C:\\" + std::string(297, 's'); }), 12, kNoRemoval));
    cases.push_back(settingsCase("DOWNLOAD of 300 characters", with([](Setting& s) { s.download = "\\" + std::string(299, 'd'); }), 0, 0));
    cases.push_back(settingsCase("RADAR FILE of 300 characters", with([](Setting& s) { s.radar = "FILE=" + std::string(300, 'r'); }), 0, 0));
    cases.push_back(settingsCase("RADAR ALTFILE of 300 characters", with([](Setting& s) { s.radar = "ALTFILE=" + std::string(300, 'r'); }), 0, 0));
    cases.push_back(settingsCase("NAME of 300 characters", with([](Setting& s) { s.name = std::string(300, 'n'); }), 8, kNoRemoval));
    cases.push_back(warned(settingsCase("VERSION of 300 characters", with([](Setting& s) { s.version = std::string(300, '9'); }), 0, 0)));
    cases.push_back(settingsCase("XRELEASE of 300 characters", with([](Setting& s) { s.xrelease = std::string(300, 'x'); }), 0, 0));
    // References.
    cases.push_back(settingsCase("reference to a 300-character string", with([](Setting& s) { s.group = "%G%"; s.strings = "G=" + std::string(300, 'g') + "\r\n"; }), 8, kNoRemoval));
    cases.push_back(settingsCase("reference to a reference", with([](Setting& s) { s.group = "%A%"; s.strings = "A=%B%\r\nB=PkgMgr Hostile\r\n"; }), 0, 0));
    cases.push_back(settingsCase("reference to itself", with([](Setting& s) { s.target = "%TARGET%"; s.strings = "TARGET=%TARGET%\r\n"; }), 0, 0));
    cases.push_back(settingsCase("reference with a 300-character name", with([](Setting& s) { s.group = "%" + std::string(298, 'n') + "%"; }), 8, kNoRemoval));
    cases.push_back(settingsCase("lone percent signs", with([](Setting& s) { s.target = "%"; s.group = "%%"; }), 8, kNoRemoval));
    // Lists.
    cases.push_back(settingsCase("DEFAULTSEARCH of 259 semicolons", with([](Setting& s) { s.search = std::string(259, ';'); }), 0, 0));
    cases.push_back(settingsCase("DEFAULTSEARCH of 80 folders", with([](Setting& s) { s.search = repeat("C:\\s", 80, ";"); }), 0, 0));
    cases.push_back(settingsCase("DOWNLOAD of 250 pieces", with([](Setting& s) { s.download = repeat("\\", 250, ";"); s.search = ";"; }), 0, 0));
    // Folders that leave their place. A name the system refuses ("D:", "a/b") stops the
    // run before anything is touched; ".." is the vendor's to write.
    cases.push_back(warned(settingsCase("TARGET with ..", with([](Setting& s) { s.target = "..\\..\\PkgMgr Hostile"; }), 0, 0)));
    cases.push_back(settingsCase("TARGET with forward slashes", with([](Setting& s) { s.target = "PkgMgr/Hostile/x"; }), 8, kNoRemoval));
    cases.push_back(settingsCase("TARGET with a drive letter", with([](Setting& s) { s.target = "D:\\PkgMgr Hostile"; }), 8, kNoRemoval));
    cases.push_back(settingsCase("GROUP with ..", with([](Setting& s) { s.group = "..\\..\\..\\PkgMgr Hostile"; }), 0, 0));
    cases.push_back(settingsCase("GROUP with forward slashes", with([](Setting& s) { s.group = "PkgMgr/Hostile"; }), 8, kNoRemoval));
    cases.push_back(settingsCase("GROUP with a drive letter", with([](Setting& s) { s.group = "C:\\PkgMgr Hostile Menu"; }), 8, kNoRemoval));
    // Broken files.
    cases.push_back({"settings file of binary bytes", std::string("\x01\xff[\x00]\x7f=\r\n\xfe", 10), Setting().releaseFile(), "", 8, kNoRemoval});
    cases.push_back({"empty settings and release files", "", "", "", 8, kNoRemoval});
    // Descriptors.
    cases.push_back(descriptorCase("descriptor as in the sample", descriptor(kRelease), 0, 0));
    cases.push_back(descriptorCase("10,000 siblings before the product", descriptor(kRelease, repeat("<zem id=\"OTHER\"/>", 10000)), 0, 0));
    cases.push_back(descriptorCase("nesting past the limit", descriptor(kRelease, repeat("<a>", 300) + repeat("</a>", 300)), 8, kNoRemoval));
    cases.push_back(descriptorCase("invalid UTF-8 in the title", descriptor("<title>PkgMgr \xff\xfe Hostile</title><version>1.03.0000</version>"), 8, kNoRemoval));
    cases.push_back(descriptorCase("title outside the ANSI code page", descriptor("<title>\xe8\xa3\xbd\xe5\x93\x81</title><version>1.03.0000</version>"), 8, kNoRemoval));
    cases.push_back(descriptorCase("title of 300 characters", descriptor("<title>" + long300 + "</title><version>1</version>"), 8, kNoRemoval));
    cases.push_back(descriptorCase("\"gd\" cycle", descriptor("<title><gd zempath=\"loop\"/></title><version>1</version>", "",
        "<loop method=\"LANGUAGE\" default=\"0409\"><item id=\"0409\"><data><gd zempath=\"loop\"/></data></item></loop>"), 8, kNoRemoval));
    cases.push_back(descriptorCase("\"gd\" without a path", descriptor("<title><gd/></title><version>1</version>"), 8, kNoRemoval));
    cases.push_back(descriptorCase("release without its id", "<build><zem id=\"PKGMGR\"><xrelease><release>" + kRelease + "</release></xrelease></zem></build>", 8, kNoRemoval));
    cases.push_back(descriptorCase("descriptor of 4 MB", descriptor(kRelease, repeat("<zem id=\"PADDING\"><note>" + std::string(200, 'p') + "</note></zem>", 18000)), 0, 0));
    cases.push_back(descriptorCase("descriptor cut short", descriptor(kRelease).substr(0, 60), 8, kNoRemoval));
    cases.push_back(descriptorCase("empty descriptor", "", 8, kNoRemoval));
    cases.push_back(descriptorCase("NUL byte inside the descriptor", std::string("<build>\0<zem/></build>", 22), 8, kNoRemoval));
    // What the run's own readers and copy accept, and the levels of the menu folder it makes.
    cases.push_back(settingsCase("GROUP two folders deep", with([](Setting& s) { s.group = "PkgMgr Hostile\\Tools"; }), 11, kNoRemoval));
    cases.push_back(settingsCase("GROUP from the Start menu down", with([](Setting& s) { s.group = "\\Programs\\PkgMgr Hostile"; }), 0, 0));
    cases.push_back({"settings file in UTF-16 with its mark", utf16(Setting().settingsFile()), Setting().releaseFile(), "", 0, 0});
    cases.push_back({"settings file in UTF-16 big-endian", utf16(Setting().settingsFile(), true), Setting().releaseFile(), "", 0, 0});
    cases.push_back({"settings file in UTF-8 with its mark", "\xEF\xBB\xBF" + Setting().settingsFile(), Setting().releaseFile(), "", 0, 0});
    cases.push_back({"release file in UTF-16 with its mark", Setting().settingsFile(), utf16(Setting().releaseFile()), "", 0, 0});
    cases.push_back(altered(warned(settingsCase("source file that is a folder", Setting(), 0, 0)), [](const std::string& folder) {
        DeleteFileA((folder + "\\zemliba.dll").c_str());
        makeFolders(folder + "\\zemliba.dll");
        writeFile(folder + "\\zemliba.dll\\inside.txt", "inside\r\n");
    }));
    cases.push_back(altered(warned(settingsCase("empty source file", Setting(), 0, 0)), [](const std::string& folder) {
        writeFile(folder + "\\zemliba.dll", "");
    }));
    cases.push_back(altered(settingsCase("source file named in other letter case", Setting(), 0, 0), [](const std::string& folder) {
        DeleteFileA((folder + "\\zemliba.dll").c_str());
        writeFile(folder + "\\ZEMLIBA.DLL", "ZEMLIBA.DLL payload\r\n");
    }));
    cases.push_back(altered(settingsCase("menu folder that is a file", with([](Setting& s) { s.group = "PkgMgr Hostile File"; }), 11, kNoRemoval),
        [](const std::string&) {
            char programs[MAX_PATH] = "";
            SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs);
            writeFile(std::string(programs) + "\\PkgMgr Hostile File", "a file\r\n");
        }));
    // Every error is reported, the first failure decides the result.
    cases.push_back(altered(settingsCase("GROUP with a slash and a file missing", with([](Setting& s) { s.group = "PkgMgr/Hostile"; }), 8, kNoRemoval),
        [](const std::string& folder) { DeleteFileA((folder + "\\zemlibb.dll").c_str()); }, "error (0009): source file missing"));
    return cases;
}

// Runs `exe` `options` in `folder` with the time limit: the exit code, or -1 after a hang.
DWORD runLimited(const std::string& exe, const char* options, const std::string& folder)
{
    std::string line = "\"" + exe + "\" " + options;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
        return DWORD(-2);
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, kTimeLimit) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// What setupcheck prints for release folder `folder` and `options`; its exit code
// into `*exitCode` when given.
std::string checkerOutput(const std::string& folder, const std::string& options = "", DWORD* exitCode = nullptr,
                          const std::string& checker = binFolder() + "\\setupcheck.exe")
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inherit, 0))
        return "(no pipe)";
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    std::string line = "\"" + checker + "\" \"" + folder + "\" " + options;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer;
    startup.hStdError = writer;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writer);
    std::string output;
    char buffer[4096];
    DWORD read = 0;
    while (started && ReadFile(reader, buffer, sizeof buffer, &read, nullptr) && read > 0)
        output.append(buffer, read);
    CloseHandle(reader);
    if (!started)
        return "(not started)";
    WaitForSingleObject(process.hProcess, kTimeLimit);
    if (exitCode)
        GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return output;
}

// The result code that setupcheck predicts ("(none)" when it printed none), and its
// exit code and report.
std::string predictedResult(const std::string& folder, DWORD* exitCode, std::string* report)
{
    std::string output = checkerOutput(folder, "", exitCode);
    *report = output;
    size_t at = output.rfind("result: ");
    return at == std::string::npos ? "(none)" : output.substr(at + 8, 4);
}

size_t count(const std::string& text, const std::string& piece)
{
    size_t found = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++found;
    return found;
}

// Removes what a run may have left, wherever its records say it went.
void clearMachine()
{
    for (const char* record : {"ProgDir", "MenuDir"}) {
        StoredValue folder = storedValue(kProductKey, record);
        if (folder.second != kAbsent)
            removeTree(folder.second.c_str());
    }
    deleteTree(kProductKey);
    deleteTree(kUninstallKey);
    DeleteFileA((windowsFolder() + "\\_zemu000.exe").c_str());
    clearPendingOperations();
}

std::string codeText(DWORD code)
{
    if (code == kNoRemoval)
        return "-";
    char text[16];
    wsprintfA(text, "%04X", unsigned(code));
    return text;
}

// A release folder with this build's setup.exe and application, small payloads and
// the setup data of `c`.
void layOut(const std::string& folder, const Hostile& c)
{
    const char* const payload[] = {"ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll",
                                   "zemlibb.dll",  "unicows.dll",  "ZEMNTDEV.sys", "ZemFlash.dll"};
    removeTree(folder);
    makeFolders(folder);
    CopyFileA((binFolder() + "\\setup.exe").c_str(), (folder + "\\setup.exe").c_str(), FALSE);
    CopyFileA((binFolder() + "\\PkgMgr.exe").c_str(), (folder + "\\PkgMgr").c_str(), FALSE);
    for (const char* file : payload)
        writeFile(folder + "\\" + file, std::string(file) + " payload\r\n");
    writeFile(folder + "\\ZemSetup.dat", c.settings);
    if (c.descriptor.empty())
        writeFile(folder + "\\PkgMgr.zem", c.release);
    else
        writeFile(folder + "\\QUVOZEM.xml", c.descriptor);
}

TEST(HostileSetupData, EveryPackageEndsWithACleanResult)
{
    int number = 0;
    clearMachine();
    for (const Hostile& c : hostileCases()) {
        SCOPED_TRACE(c.what);
        std::string folder = "C:\\hostile\\" + std::to_string(++number);
        layOut(folder, c);
        if (c.alter)
            c.alter(folder);
        DWORD verdict = 0;
        std::string report;
        std::string predicted = predictedResult(folder, &verdict, &report);
        EXPECT_NE(std::string::npos, report.find(c.reported)) << report;
        EXPECT_EQ(predicted != "0000" ? 2u : c.warned ? 1u : 0u, verdict) << "setupcheck's exit code";

        DWORD install = runLimited(folder + "\\setup.exe", "/S", folder);
        EXPECT_EQ(codeText(install), readResultValue());
        DWORD removal = kNoRemoval;
        if (install == 0) {
            removal = runLimited(windowsFolder() + "\\_zemu000.exe", "/S /U", folder);
            EXPECT_EQ(codeText(removal), readResultValue());
        }
        printf("| %d | %s | %s | %s | %s |\n", number, c.what.c_str(), predicted.c_str(),
               codeText(install).c_str(), codeText(removal).c_str());
        EXPECT_EQ(codeText(install), predicted) << "setupcheck predicted otherwise";
        EXPECT_EQ(c.install, install);
        EXPECT_EQ(c.removal, removal);
        clearMachine();
    }
}

// The Windows build refuses with its own calls what no setup data is: here a settings
// file larger than any (the Linux build's table in tests/setupcheck has the others).
TEST(HostileFolder, SetupDataPastTheLimitIsNotRead)
{
    const std::string folder = "C:\\hostile\\large";
    layOut(folder, settingsCase("large", Setting(), 0, 0));
    HANDLE file = CreateFileA((folder + "\\ZemSetup.dat").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFilePointer(file, 17 * 1024 * 1024, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    DWORD exitCode = 0;
    std::string report = checkerOutput(folder, "", &exitCode);
    EXPECT_EQ(2u, exitCode);
    EXPECT_NE(std::string::npos, report.find("ZemSetup.dat is not read: it is larger than any setup data "
                                             "(more than 16 MB): 17825792 bytes")) << report;
    EXPECT_NE(std::string::npos, report.find("result: 0008")) << report;
    removeTree(folder);
}

// A checker whose code page is UTF-8 (its manifest asks for it, as Windows 10 allows)
// reads the bytes of a value as UTF-8: "Café" stays "Café" in the JSON document.
TEST(HostileFolder, TextsInAUtf8CodePage)
{
    const std::string folder = "C:\\hostile\\utf8";
    const std::string checker = "C:\\hostile\\utf8-checker\\setupcheck.exe";
    Setting utf8;
    utf8.target = "Caf\xC3\xA9";
    layOut(folder, settingsCase("UTF-8", utf8, 0, 0));
    makeFolders("C:\\hostile\\utf8-checker");
    ASSERT_TRUE(CopyFileA((binFolder() + "\\setupcheck.exe").c_str(), checker.c_str(), FALSE));
    writeFile(checker + ".manifest",
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
              "<assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas-microsoft-com:asm.v1\">"
              "<assemblyIdentity type=\"win32\" name=\"setupcheck\" version=\"1.0.0.0\"/>"
              "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\"><windowsSettings>"
              "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>"
              "</windowsSettings></application></assembly>\r\n");
    std::string report = checkerOutput(folder, "--json", nullptr, checker);
    EXPECT_NE(std::string::npos, report.find("\\\\Caf\\u00e9\"")) << report;
    removeTree(folder);
    removeTree("C:\\hostile\\utf8-checker");
}

// A file of the source tree, through Wine's drive for the host's root.
std::string sourceFile(const std::string& relative)
{
    std::string path = "Z:" PKGMGR_SOURCE_DIR "/" + relative;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return readFile(path);
}

// The examples of the authors' guide install and remove as they are.
TEST(GuideExamples, InstallAndRemoveCleanly)
{
    const std::string settings = sourceFile("docs/examples/settings/ZemSetup.dat");
    const Hostile examples[] = {
        {"settings mode", settings, sourceFile("docs/examples/settings/PkgMgr.zem"), "", 0, 0},
        {"descriptor mode", sourceFile("docs/examples/descriptor/ZemSetup.dat"), "",
         sourceFile("docs/examples/descriptor/QUVOZEM.xml"), 0, 0},
    };
    ASSERT_NE(kAbsent, settings);
    clearMachine();
    for (const Hostile& c : examples) {
        SCOPED_TRACE(c.what);
        std::string folder = "C:\\guide\\" + c.what;
        layOut(folder, c);
        // Clean in every language of setup.exe's texts, in the German ones translated.
        std::string report = checkerOutput(folder, "--all-languages");
        EXPECT_EQ(14u, count(report, "result: 0000")) << report;
        EXPECT_EQ(1u, count(report, "release: Veltrano Paketverwaltung")) << report;
        EXPECT_EQ(0u, runLimited(folder + "\\setup.exe", "/S", folder));
        // The machine's language is English: the neutral and 0409 texts.
        EXPECT_EQ(textValue("Veltrano Package Manager"), storedValue(kProductKey, "Name"));
        EXPECT_EQ(textValue("1.04.0000"), storedValue(kProductKey, "Version"));
        EXPECT_NE(std::string::npos, storedValue(kProductKey, "ProgDir").second.find("\\Veltrano"));
        EXPECT_EQ(0u, runLimited(windowsFolder() + "\\_zemu000.exe", "/S /U", folder));
        EXPECT_EQ("0000", readResultValue());
        clearMachine();
    }
}

}  // namespace
