// The product's registry records, written and read on the real registry.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "actions/machine.h"
#include "actions/registry_records.h"
#include "platform/seam.h"

namespace {

const char kProductKey[] = "SOFTWARE\\QUVO\\VeltranoSoftwareInstaller";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltranoSoftwareInstaller";
const uint32_t kInstall = 0x1;
const uint32_t kUninstall = 0x0;

// The records of one installation, in the order of the setup run.
int installRecords(uint32_t runFlags = kInstall)
{
    return applyProgramFolder("C:\\Program Files\\PkgMgr", runFlags) &&
           applyProductIdentity("Package Manager", "1.03.0000", runFlags) &&
           applyMenuFolderValue("C:\\Menu\\Package Manager", runFlags) &&
           applyInternetSettings(2, "C:\\DRIVERS", runFlags) &&
           applyUninstallEntry("_zemu000.exe", "Package Manager", "1.03.0000", "C:\\Program Files\\PkgMgr", 1234,
                               runFlags);
}

int removeRecords()
{
    return applyProgramFolder(nullptr, kUninstall) &&
           applyProductIdentity(nullptr, nullptr, kUninstall) &&
           applyMenuFolderValue(nullptr, kUninstall) &&
           applyInternetSettings(0, nullptr, kUninstall) &&
           applyUninstallEntry(nullptr, nullptr, nullptr, nullptr, 0, kUninstall);
}

class RegistryRecords : public ::testing::Test {
protected:
    void SetUp() override
    {
        deleteTree(kProductKey);
        deleteTree(kUninstallKey);
    }
    void TearDown() override { platform = saved_; }

private:
    PlatformSeam saved_ = platform;
};

TEST_F(RegistryRecords, InstallWritesTheWholeLayout)
{
    setValue(kUninstallKey, "SystemComponent", numberValue(1));
    ASSERT_TRUE(installRecords());
    const struct {
        const char* key;
        const char* name;
        StoredValue value;
    } expected[] = {
        {kProductKey, nullptr, textValue("C:\\Program Files\\PkgMgr\\PkgMgr.exe")},
        {kProductKey, "ProgDir", textValue("C:\\Program Files\\PkgMgr")},
        {kProductKey, "Name", textValue("Package Manager")},
        {kProductKey, "Version", textValue("1.03.0000")},
        {kProductKey, "MenuDir", textValue("C:\\Menu\\Package Manager")},
        {kProductKey, "InternetFunction", numberValue(2)},
        {kProductKey, "DownloadDir", textValue("C:\\DRIVERS")},
        {kUninstallKey, "DisplayName", textValue("Package Manager")},
        {kUninstallKey, "UninstallString", textValue("_zemu000.exe /U")},
        {kUninstallKey, "DisplayIcon", textValue("C:\\windows\\_zemu000.exe,0")},
        {kUninstallKey, "DisplayVersion", textValue("1.03.0000")},
        {kUninstallKey, "Publisher", textValue("QUVO")},
        {kUninstallKey, "InstallLocation", textValue("C:\\Program Files\\PkgMgr")},
        {kUninstallKey, "EstimatedSize", numberValue(1234)},
        {kUninstallKey, "QuietUninstallString", textValue("\"C:\\windows\\_zemu000.exe\" /S /U")},
        {kUninstallKey, "NoModify", numberValue(1)},
        {kUninstallKey, "NoRepair", numberValue(1)},
        {kUninstallKey, "VersionMajor", numberValue(1)},
        {kUninstallKey, "VersionMinor", numberValue(3)},
    };
    for (const auto& e : expected)
        EXPECT_EQ(e.value, storedValue(e.key, e.name)) << (e.name ? e.name : "(default)");
    EXPECT_EQ((Names{"", "DownloadDir", "InternetFunction", "MenuDir", "Name", "ProgDir",
                     "Version"}),
              valueNames(kProductKey));
    // "SystemComponent" is gone, so the entry shows in the list of programs.
    EXPECT_EQ((Names{"DisplayIcon", "DisplayName", "DisplayVersion", "EstimatedSize", "InstallDate",
                     "InstallLocation", "NoModify", "NoRepair", "Publisher", "QuietUninstallString",
                     "UninstallString", "VersionMajor", "VersionMinor"}),
              valueNames(kUninstallKey));
}

TEST_F(RegistryRecords, NoShortcutsFlagWritesNoDisplayName)
{
    ASSERT_TRUE(applyUninstallEntry("_zemu000.exe", "Package Manager", "1.03.0000", "C:\\PkgMgr", 1, 0x101));
    EXPECT_EQ((Names{"DisplayIcon", "DisplayVersion", "EstimatedSize", "InstallDate", "InstallLocation",
                     "NoModify", "NoRepair", "Publisher", "QuietUninstallString", "UninstallString",
                     "VersionMajor", "VersionMinor"}),
              valueNames(kUninstallKey));
    setValue(kUninstallKey, "DisplayName", textValue("Earlier"));
    ASSERT_TRUE(applyUninstallEntry("_zemu000.exe", "Package Manager", "1.04.0000", "C:\\PkgMgr", 1, 0x101));
    EXPECT_EQ(textValue("Earlier"), storedValue(kUninstallKey, "DisplayName"));
    EXPECT_EQ(textValue("1.04.0000"), storedValue(kUninstallKey, "DisplayVersion"));
}

std::string today()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    wsprintfA(text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

// "InstallDate" is the day of the latest installation, an update's too; "VersionMajor"
// and "VersionMinor" are the numbers that begin the version's first two parts, and a
// version without them leaves no numbers of an earlier one.
TEST_F(RegistryRecords, TheEntryDatesTheInstallationAndNumbersTheVersion)
{
    setValue(kUninstallKey, "InstallDate", textValue("19990101"));
    const struct {
        const char* version;
        int numbered;
        DWORD major, minor;
    } cases[] = {
        {"1.04.0000", 1, 1, 4}, {"10.20.30", 1, 10, 20}, {"3", 1, 3, 0},        {"2.x", 1, 2, 0},
        {"1.4b", 1, 1, 4},      {"v1.2", 0, 0, 0},       {"", 0, 0, 0},         {"1234567890.1", 0, 0, 0},
        {"123456789.987654321", 1, 123456789, 987654321},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        setValue(kUninstallKey, "VersionMajor", numberValue(7));
        std::string before = today();
        ASSERT_TRUE(applyUninstallEntry("_zemu000.exe", "Package Manager", c.version, "C:\\PkgMgr", 1, kInstall));
        StoredValue date = storedValue(kUninstallKey, "InstallDate");
        EXPECT_TRUE(date == textValue(before) || date == textValue(today())) << date.second;
        if (c.numbered) {
            EXPECT_EQ(numberValue(c.major), storedValue(kUninstallKey, "VersionMajor"));
            EXPECT_EQ(numberValue(c.minor), storedValue(kUninstallKey, "VersionMinor"));
        } else {
            Names names = valueNames(kUninstallKey);
            EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "VersionMajor"));
            EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "VersionMinor"));
        }
    }
    ASSERT_TRUE(applyUninstallEntry(nullptr, nullptr, nullptr, nullptr, 0, kUninstall));
    EXPECT_FALSE(keyExists(kUninstallKey));
}

TEST_F(RegistryRecords, ReinstallKeepsTheDownloadFolderOnly)
{
    ASSERT_TRUE(installRecords());
    setValue(kProductKey, "DownloadDir", textValue("D:\\Chosen"));
    ASSERT_TRUE(applyProgramFolder("D:\\Apps", kInstall));
    ASSERT_TRUE(applyInternetSettings(0, "C:\\DRIVERS", kInstall));
    EXPECT_EQ(textValue("D:\\Chosen"), storedValue(kProductKey, "DownloadDir"));
    EXPECT_EQ(numberValue(0), storedValue(kProductKey, "InternetFunction"));
    EXPECT_EQ(textValue("D:\\Apps\\PkgMgr.exe"), storedValue(kProductKey, nullptr));
}

TEST_F(RegistryRecords, UninstallKeepsInternetFunctionAndTheApplicationsRecords)
{
    ASSERT_TRUE(installRecords());
    setValue(kProductKey, "ProxyServer", textValue("proxy:8080"));
    setValue(kProductKey, "Window", textValue("10,10"));
    setValue(std::string(kProductKey) + "\\Install\\Item", "ZEM", textValue("1"));
    ASSERT_TRUE(removeRecords());
    EXPECT_EQ((Names{"InternetFunction", "Window"}), valueNames(kProductKey));
    EXPECT_TRUE(keyExists(std::string(kProductKey) + "\\Install\\Item"));
    EXPECT_FALSE(keyExists(kUninstallKey));
    int32_t internetFunction = -1;
    EXPECT_TRUE(readInternetFunction(&internetFunction));
    EXPECT_EQ(2, internetFunction);
    EXPECT_FALSE(removalRecordsLeft());
    EXPECT_TRUE(applyUninstallEntry(nullptr, nullptr, nullptr, nullptr, 0, kUninstall)) << "removed already";
}

// A removal cut off earlier took some records: the next one passes over what is gone.
TEST_F(RegistryRecords, RemovalPassesOverAValueAlreadyGone)
{
    for (const char* gone : {"DownloadDir", "", "Name", "MenuDir"}) {
        SCOPED_TRACE(gone);
        SetUp();
        ASSERT_TRUE(installRecords());
        removeValue(kProductKey, gone[0] ? gone : nullptr);
        EXPECT_TRUE(removalRecordsLeft());
        EXPECT_TRUE(removeRecords());
        EXPECT_EQ(Names{"InternetFunction"}, valueNames(kProductKey));
        EXPECT_FALSE(keyExists(kUninstallKey));
        EXPECT_FALSE(removalRecordsLeft());
    }
    // Windows 9x answers every key's default value, empty when none was written: that
    // is no record left, and a second removal has nothing to remove.
    setValue(kProductKey, nullptr, textValue(""));
    EXPECT_FALSE(removalRecordsLeft());
}

const char* refusedName;

LONG WINAPI refuseOneValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size)
{
    if (strcmp(name ? name : "", refusedName) == 0)
        return ERROR_ACCESS_DENIED;
    return RegSetValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI refuseKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                      LPDWORD)
{
    return ERROR_ACCESS_DENIED;
}

TEST_F(RegistryRecords, AFailedWriteStopsTheOperation)
{
    const struct {
        const char* refused;
        const char* key;
        Names written;
    } cases[] = {
        {"ProgDir", kProductKey, {}},
        {"", kProductKey, {"ProgDir"}},
        {"Name", kProductKey, {"", "ProgDir"}},
        {"Version", kProductKey, {"", "Name", "ProgDir"}},
        {"DownloadDir", kProductKey, {"", "MenuDir", "Name", "ProgDir", "Version"}},
        {"InternetFunction", kProductKey, {"", "DownloadDir", "MenuDir", "Name", "ProgDir", "Version"}},
        {"DisplayName", kUninstallKey, {"SystemComponent"}},
        {"UninstallString", kUninstallKey, {"DisplayName", "SystemComponent"}},
        {"DisplayIcon", kUninstallKey, {"DisplayName", "SystemComponent", "UninstallString"}},
        {"DisplayVersion", kUninstallKey,
         {"DisplayIcon", "DisplayName", "SystemComponent", "UninstallString"}},
        {"Publisher", kUninstallKey,
         {"DisplayIcon", "DisplayName", "DisplayVersion", "SystemComponent", "UninstallString"}},
        {"NoRepair", kUninstallKey,
         {"DisplayIcon", "DisplayName", "DisplayVersion", "EstimatedSize", "InstallLocation", "NoModify",
          "Publisher", "QuietUninstallString", "SystemComponent", "UninstallString"}},
        {"VersionMinor", kUninstallKey,
         {"DisplayIcon", "DisplayName", "DisplayVersion", "EstimatedSize", "InstallDate", "InstallLocation",
          "NoModify", "NoRepair", "Publisher", "QuietUninstallString", "SystemComponent", "UninstallString",
          "VersionMajor"}},
    };
    platform.RegSetValueExA = refuseOneValue;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        SetUp();
        setValue(kUninstallKey, "SystemComponent", numberValue(1));
        refusedName = c.refused;
        EXPECT_FALSE(installRecords());
        EXPECT_EQ(c.written, valueNames(c.key));
    }

    // Only the first writer creates the product key; the others need it.
    SetUp();
    platform.RegCreateKeyExA = refuseKey;
    EXPECT_FALSE(applyProgramFolder("C:\\PkgMgr", kInstall));
    EXPECT_FALSE(applyProductIdentity("Package Manager", "1.03.0000", kInstall));
    EXPECT_FALSE(applyMenuFolderValue("C:\\Menu", kInstall));
    EXPECT_FALSE(applyInternetSettings(1, "C:\\DRIVERS", kInstall));
    EXPECT_FALSE(applyUninstallEntry("_zemu000.exe", "Package Manager", "1.03.0000", "C:\\PkgMgr", 1, kInstall));
    EXPECT_FALSE(keyExists(kProductKey));
    EXPECT_FALSE(keyExists(kUninstallKey));
}

TEST_F(RegistryRecords, AFolderTooLongForTheApplicationsPathFails)
{
    std::string folder = "C:\\" + std::string(250, 'f');
    EXPECT_FALSE(applyProgramFolder(folder.c_str(), kInstall));
    EXPECT_EQ((Names{"ProgDir"}), valueNames(kProductKey));
}

TEST_F(RegistryRecords, VersionIsNormalisedOnReading)
{
    const struct {
        const char* stored;
        const char* read;
    } cases[] = {
        {"01030000", "1.03.0000"}, {"03000000", "3.00.0000"}, {"0A0B000C", "A.0B.000C"},
        {"0a0b000c", "A.0B.000C"}, {"FFFFFFFF", "FF.FF.FFFF"}, {"1.03.0000", "1.03.0000"},
        {"0103000", "0103000"},     {"", ""},
        // Eight characters that are not all hexadecimal digits are no packed version.
        {"G1030000", "G1030000"},   {"0103zzzz", "0103zzzz"}, {"0x010300", "0x010300"},
        {" 1030000", " 1030000"},
    };
    ASSERT_TRUE(applyProgramFolder("C:\\PkgMgr", kInstall));
    for (const auto& c : cases) {
        ASSERT_TRUE(applyProductIdentity("Package Manager", c.stored, kInstall));
        EXPECT_EQ(textValue(c.stored), storedValue(kProductKey, "Version"));
        char name[260] = "";
        char version[260] = "";
        ASSERT_TRUE(readProductIdentity(name, version));
        EXPECT_STREQ("Package Manager", name);
        EXPECT_STREQ(c.read, version) << c.stored;
    }
}

// Any stored type is read as text; a value that is absent or too long leaves the buffer.
TEST_F(RegistryRecords, ReadersOfTextValues)
{
    ASSERT_TRUE(applyProgramFolder("C:\\PkgMgr", kInstall));
    const std::string longest(259, 'm');
    const struct {
        StoredValue stored;
        int result;
        const char* read;
    } cases[] = {
        {textValue("C:\\Menu"), 1, "C:\\Menu"},
        {{REG_SZ, "C:\\Menu"}, 1, "C:\\Menu"},  // stored without its null
        {{REG_EXPAND_SZ, std::string("%WINDIR%", 9)}, 1, "%WINDIR%"},
        {{REG_BINARY, "abc"}, 1, "abc"},
        {textValue(longest), 1, longest.c_str()},
        {textValue(std::string(260, 'm')), 0, "before"},
        {{REG_SZ, std::string(260, 'm')}, 0, "before"},
        {{REG_NONE, kAbsent}, 0, "before"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.read);
        removeValue(kProductKey, "MenuDir");
        if (c.stored.second != kAbsent)
            setValue(kProductKey, "MenuDir", c.stored);
        char text[260] = "before";
        EXPECT_EQ(c.result, readMenuFolder(text));
        EXPECT_STREQ(c.read, text);
    }

    char name[260] = "before";
    char version[260] = "before";
    EXPECT_FALSE(readProductIdentity(name, version));
    EXPECT_STREQ("before", version);
    setValue(kProductKey, "Name", textValue("Package Manager"));
    EXPECT_FALSE(readProductIdentity(name, version));
    EXPECT_STREQ("before", version);
    int32_t number = 7;
    EXPECT_FALSE(readInternetFunction(&number));
    EXPECT_EQ(7, number);

    char folder[260] = "";
    ASSERT_TRUE(readCurrentVersionValue("ProgramFilesDir", folder, sizeof folder));
    EXPECT_STREQ("C:\\Program Files", folder);
    char small[8] = "before";
    EXPECT_FALSE(readCurrentVersionValue("ProgramFilesDir", small, sizeof small));
    EXPECT_STREQ("before", small);
}

}  // namespace
