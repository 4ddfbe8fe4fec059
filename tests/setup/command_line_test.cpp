#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "setup/command_line.h"

namespace {

uint32_t flagsFor(const char* commandLine)
{
    uint32_t flags = 1;
    EXPECT_EQ(1, parseCommandLine(commandLine, &flags));
    return flags;
}

struct Case {
    const char* commandLine;
    uint32_t flags;
};

TEST(CommandLine, OptionsGiveTheirBits)
{
    const Case cases[] = {
        {"", 0x1},
        {"install quietly please", 0x1},  // no slash: nothing changes
        {"/S", 0x3},
        {"/s", 0x3},
        {"/U", 0x0},
        {"/O", 0x5},
        {"/W", 0x101},
        {"/F", 0x201},
        {"/L", 0x401},
        {"/l /S /U", 0x402},
        {"/R", 0x801},
        {"/S /r", 0x803},
        {"/S/U", 0x2},
        {"/s /u", 0x2},
        {"/O /W /F", 0x305},
        {"/f/o/s/w", 0x307},
        {"/U /U", 0x0},  // no option switches back to install
        {"/S /S", 0x3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.flags, flagsFor(c.commandLine)) << "command line: \"" << c.commandLine << "\"";
}

TEST(CommandLine, OnlyTheLetterAfterTheSlashCounts)
{
    const Case cases[] = {
        {"/Silent", 0x3},
        {"/Uninstall", 0x0},
        {"/SU", 0x3},       // the U is part of the option text, not an option
        {"/Xs", 0x1},
        {"/LOG", 0x401},    // the rest of the option text is ignored
        {"/l*v", 0x401},
        {"/X", 0x1},
        {"/ S", 0x1},       // a blank right after the slash
        {"/\tS", 0x1},
        {"/", 0x1},         // ends in a slash
        {"//", 0x1},        // empty options
        {"//S", 0x3},
        {"/S/", 0x3},
        {"C:/Temp/setup", 0x3},  // a forward-slash path reads as options: /T, then /s
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.flags, flagsFor(c.commandLine)) << "command line: \"" << c.commandLine << "\"";
}

// "?" and "H" ask for the help, under the same rule; they set a bit of their own and
// leave the others as the line gives them.
TEST(CommandLine, QuestionMarkAndHAskForTheHelp)
{
    const Case cases[] = {
        {"/?", 0x1001},   {"/h", 0x1001},        {"/H", 0x1001},     {"/help", 0x1001},
        {"/HELP", 0x1001}, {"/S /?", 0x1003},    {"/U/h", 0x1000},   {"/?/L=C:\\x.log", 0x1401},
        {"/ ?", 0x1},     {"-?", 0x1},           {"?", 0x1},         {"/x?", 0x1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.flags, flagsFor(c.commandLine)) << "command line: \"" << c.commandLine << "\"";
}

TEST(CommandLine, PathWithForwardSlashesActsAsOptions)
{
    // "/users" uninstalls and "/setup" makes the run silent.
    EXPECT_EQ(0x2u, flagsFor("D:/users/setup"));
}

TEST(CommandLine, TouchesNoOtherBits)
{
    uint32_t flags = 0xFFFF0000u | 0x1;
    parseCommandLine("/S /O /W /F /L /R", &flags);
    EXPECT_EQ(0xFFFF0F07u, flags);

    flags = 0x10001u;
    parseCommandLine("/U", &flags);
    EXPECT_EQ(0x10000u, flags);
}

TEST(CommandLine, NullOrLongLinesAreHandled)
{
    uint32_t flags = 1;
    EXPECT_EQ(1, parseCommandLine(nullptr, &flags));
    EXPECT_EQ(1u, flags);

    std::string line(100000, 'x');
    line += " /w";
    EXPECT_EQ(0x101u, flagsFor(line.c_str()));
}

}  // namespace

namespace {

// The value of "/L=" is data: quoted, up to the closing quote; unquoted, up to a blank
// followed by "/" or the end. Outside it each "/" still gives an option. The path is
// trimmed and unquoted, its slashes given as backslashes; the last /L= counts; it still
// sets the log's bit.
TEST(CommandLine, LogOptionValueIsDataNotOptions)
{
    const struct {
        const char* line;
        uint32_t flags;
        const char* path;  // "" when no path is given
    } cases[] = {
        {"/S /U /R \"/L=C:/RealLogs/host.log\"", 0xC02, "C:\\RealLogs\\host.log"},
        {"/S /L=C:/Users/Public/pkgmgr.log", 0x403, "C:\\Users\\Public\\pkgmgr.log"},
        {"/S /L=C:\\logs\\setup.log", 0x403, "C:\\logs\\setup.log"},
        {"/L=C:\\logs\\a b.log /S", 0x403, "C:\\logs\\a b.log"},
        {"/L=C:\\My Logs\\a.log  \t/U /W", 0x500, "C:\\My Logs\\a.log"},
        {"/L=C:\\My Logs /Old\\a.log", 0x405, "C:\\My Logs"},  // a blank and "/" end the value
        {"\"/L=C:\\My Logs\\a.log\" /S", 0x403, "C:\\My Logs\\a.log"},
        {"/L=\"C:\\My Logs\\a.log\" /S", 0x403, "C:\\My Logs\\a.log"},
        {"/l=\"C:\\Program Files/x.log\"/U", 0x400, "C:\\Program Files\\x.log"},
        {"\"/L=C:/a /U b.log\"/S /h", 0x1403, "C:\\a \\U b.log"},
        {"/S \"C:/x\" \"/L=D:/y.log\" /W", 0x503, "D:\\y.log"},
        {"/L=/logs/u/s.log", 0x401, "\\logs\\u\\s.log"},
        {"/L=C:\\one.log /L=D:\\two.log", 0x401, "D:\\two.log"},
        {"/L=\"C:\\unclosed /U", 0x401, "C:\\unclosed \\U"},  // the quote runs to the end
        {"\"/L=C:\\unclosed /U", 0x401, "C:\\unclosed \\U"},
        {"/L", 0x401, ""},
        {"/LOG", 0x401, ""},  // no "=": the option's text is ignored as before
        {"/L= /S", 0x403, ""},
        {"/L=\"\" /S", 0x403, ""},
        {"\"/L=\"", 0x401, ""},
        {nullptr, 0x1, ""},
    };
    for (const auto& c : cases) {
        const char* line = c.line ? c.line : "(null)";
        EXPECT_EQ(c.flags, flagsFor(c.line)) << line;
        char path[16] = "unchanged";
        char wide[260] = "unchanged";
        EXPECT_EQ(c.path[0] != '\0', readLogPathOption(c.line, wide, sizeof wide)) << line;
        EXPECT_STREQ(c.path, wide) << line;
        // A path that does not fit is no path.
        EXPECT_EQ(c.path[0] && strlen(c.path) < sizeof path, readLogPathOption(c.line, path, sizeof path) == 1)
            << line;
    }
}

}  // namespace
