#include <gtest/gtest.h>
#include <stdint.h>

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
        {"/?", 0x1},
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
