// The settings-value lookup over an in-memory profile reader; under Wine the
// in-memory reader is also compared with the platform's own.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "platform/profile_text.h"
#include "setupdata/setup_value.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The in-memory reader's result as "text" or "(n) text" when n differs from the length.
std::string profileRead(const char* ini, const char* section, const char* key,
                        const char* defaultText = "", uint32_t size = 260)
{
    char out[300];
    memset(out, '#', sizeof out);
    out[sizeof out - 1] = '\0';
    uint32_t length = readProfileText(section, key, defaultText, out, size, ini);
    if (size == 0)
        return out[0] == '#' ? "(size 0)" : "(size 0, but out written)";
    EXPECT_EQ(length, strlen(out));
    EXPECT_EQ('#', out[length + 1]) << "written beyond the terminator";
    return out;
}

const char kRules[] =
    "; comment\r\n"
    "orphan=before any section\r\n"
    "[Init]\r\n"
    "  Target  =  PkgMgr Folder  \r\n"
    "QUOTED=\"  spaced  \"\r\n"
    "SINGLE='single'\r\n"
    "HALF=\"half\r\n"
    "MIXED=\"mixed'\r\n"
    "EMPTY=\r\n"
    "NOEQUALS\r\n"
    ";TARGET=commented\r\n"
    "DUP=first\r\n"
    "DUP=second\r\n"
    "EQ=a=b\r\n"
    "[ Other ]\r\n"
    "TARGET=other\r\n"
    "[INIT]\r\n"
    "LATER=in the second INIT\r\n";

TEST(MemoryProfile, FollowsTheProfileRules)
{
    EXPECT_EQ("PkgMgr Folder", profileRead(kRules, "INIT", "TARGET"));
    EXPECT_EQ("PkgMgr Folder", profileRead(kRules, "init", "target"));
    EXPECT_EQ("  spaced  ", profileRead(kRules, "INIT", "QUOTED"));
    EXPECT_EQ("single", profileRead(kRules, "INIT", "SINGLE"));
    EXPECT_EQ("\"half", profileRead(kRules, "INIT", "HALF"));
    EXPECT_EQ("\"mixed'", profileRead(kRules, "INIT", "MIXED"));
    EXPECT_EQ("", profileRead(kRules, "INIT", "EMPTY", "default"));
    EXPECT_EQ("default", profileRead(kRules, "INIT", "NOEQUALS", "default"));
    EXPECT_EQ("first", profileRead(kRules, "INIT", "DUP"));
    EXPECT_EQ("a=b", profileRead(kRules, "INIT", "EQ"));
    EXPECT_EQ("other", profileRead(kRules, "OTHER", "TARGET"));
    EXPECT_EQ("d", profileRead(kRules, "INIT", "LATER", "d"));  // only the first INIT counts
    EXPECT_EQ("", profileRead(kRules, "", "orphan"));
    EXPECT_EQ("dflt", profileRead(kRules, "NONE", "TARGET", "dflt  "));
    EXPECT_EQ("", profileRead(kRules, "INIT", "ABSENT", nullptr));
}

TEST(MemoryProfile, CutsToTheBuffer)
{
    EXPECT_EQ("PkgM", profileRead(kRules, "INIT", "TARGET", "", 5));
    EXPECT_EQ("", profileRead(kRules, "INIT", "TARGET", "", 1));
    EXPECT_EQ("(size 0)", profileRead(kRules, "INIT", "TARGET", "", 0));
    EXPECT_EQ("de", profileRead(kRules, "INIT", "ABSENT", "default", 3));
}

#ifdef _WIN32
// The platform's reader on the same text, from a file in the temporary folder.
std::string platformRead(const char* ini, const char* section, const char* key,
                         const char* defaultText, uint32_t size)
{
    char folder[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "ini", 0, path);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, ini, DWORD(strlen(ini)), &written, nullptr);
    CloseHandle(file);
    char out[300];
    memset(out, '#', sizeof out);
    out[sizeof out - 1] = '\0';
    DWORD length = GetPrivateProfileStringA(section, key, defaultText, out, size, path);
    DeleteFileA(path);
    EXPECT_EQ(length, strlen(out));
    return out;
}

TEST(MemoryProfile, AgreesWithThePlatformReader)
{
    struct Case {
        const char* section;
        const char* key;
        const char* defaultText;
        uint32_t size;
    } cases[] = {
        {"INIT", "TARGET", "", 260}, {"init", "target", "", 260}, {"INIT", "QUOTED", "", 260},
        {"INIT", "SINGLE", "", 260}, {"INIT", "HALF", "", 260},   {"INIT", "MIXED", "", 260},
        {"INIT", "EMPTY", "x", 260}, {"INIT", "DUP", "", 260},    {"INIT", "EQ", "", 260},
        {"OTHER", "TARGET", "", 260}, {"NONE", "TARGET", "dflt  ", 260}, {"INIT", "LATER", "d", 260},
        {"INIT", "TARGET", "", 5},   {"INIT", "TARGET", "", 1},   {"INIT", "ABSENT", "default", 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platformRead(kRules, c.section, c.key, c.defaultText, c.size),
                  profileRead(kRules, c.section, c.key, c.defaultText, c.size))
            << c.section << " " << c.key << " " << c.size;
    }
}
#endif

const char kSettings[] =
    "[INIT]\r\n"
    "TITLE=%TITLE%\r\nMISSING=%NOWHERE%\r\nPERCENT=50%\r\nLEADING=%x\r\nTRAILING=x%\r\n"
    "NESTED=%OUTER%\r\nLONE=%\r\nPAIR=%%\r\nQUOTEDREF=\"%TITLE%\"\r\nLONG=%LONGTEXT%\r\n"
    "[STRINGS.0807]\r\nTITLE=Swiss\r\n"
    "[STRINGS.0007]\r\nTITLE=German\r\nONLYPRIMARY=primary\r\n"
    "[STRINGS]\r\nTITLE=Neutral\r\nOUTER=%INNER%\r\nINNER=inner\r\n=empty name\r\n"
    "LONGTEXT=abcdefghijklmnop\r\n";

// resolveSetupValue on `ini` as "text", or "(0) " and what `out` then holds.
std::string value(const char* ini, const char* key, uint16_t language, size_t size = 260,
                  const char* defaultText = "")
{
    SystemProfile profile = {};
    profile.language = language;
    profile.primaryLanguage = language & 0x3FF;
    char out[300] = "untouched";
    int length = resolveSetupValue(readProfileText, &profile, "INIT", key, defaultText, out, size, ini);
    if (length == 0)
        return std::string("(0) ") + out;
    EXPECT_EQ(size_t(length), strlen(out));
    EXPECT_LT(size_t(length), size);
    return out;
}

TEST(SetupValue, ReferencesResolveByLanguage)
{
    EXPECT_EQ("Swiss", value(kSettings, "TITLE", 0x0807));
    EXPECT_EQ("German", value(kSettings, "TITLE", 0x0407));
    EXPECT_EQ("Neutral", value(kSettings, "TITLE", 0x0C0A));
    EXPECT_EQ("Swiss", value(kSettings, "QUOTEDREF", 0x0807));  // the quotes go first
}

TEST(SetupValue, ValuesThatAreNoReferences)
{
    EXPECT_EQ("50%", value(kSettings, "PERCENT", 0x0409));
    EXPECT_EQ("%x", value(kSettings, "LEADING", 0x0409));
    EXPECT_EQ("x%", value(kSettings, "TRAILING", 0x0409));
    EXPECT_EQ("(0) untouched", value(kSettings, "ABSENT", 0x0409));
}

TEST(SetupValue, ReferencesResolveOnceOrNotAtAll)
{
    EXPECT_EQ("%INNER%", value(kSettings, "NESTED", 0x0409));
    EXPECT_EQ("(0) untouched", value(kSettings, "MISSING", 0x0807));
    EXPECT_EQ("empty name", value(kSettings, "LONE", 0x0409));
    EXPECT_EQ("empty name", value(kSettings, "PAIR", 0x0409));
}

TEST(SetupValue, TheDefaultTakesPartInBothReads)
{
    EXPECT_EQ("fallback", value(kSettings, "ABSENT", 0x0409, 260, "fallback"));
    // A missing name gives the default already in the first language section.
    EXPECT_EQ("fallback", value(kSettings, "MISSING", 0x0807, 260, "fallback"));
    EXPECT_EQ("Swiss", value(kSettings, "ABSENT", 0x0807, 260, "%TITLE%"));
}

TEST(SetupValue, SizeLimitsBothReads)
{
    // A reference counts only when it fits whole, both signs included, into the first read.
    EXPECT_EQ("%TI", value(kSettings, "TITLE", 0x0807, 4));
    EXPECT_EQ("%TITLE", value(kSettings, "TITLE", 0x0807, 7));
    EXPECT_EQ("Swiss", value(kSettings, "TITLE", 0x0807, 8));
    EXPECT_EQ("abcdefghijk", value(kSettings, "LONG", 0x0409, 12));  // the found text is cut
    EXPECT_EQ("(0) untouched", value(kSettings, "TITLE", 0x0807, 1));
    EXPECT_EQ("(0) untouched", value(kSettings, "TITLE", 0x0807, 0));
    // No buffer holds more than 260 characters: a larger size is taken as 260.
    std::string ini = "[INIT]\r\nBIG=" + std::string(300, 'b') + "\r\n";
    EXPECT_EQ(std::string(259, 'b'), value(ini.c_str(), "BIG", 0x0409, 1000));
}

}  // namespace
