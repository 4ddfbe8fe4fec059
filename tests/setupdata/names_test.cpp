// Names the setup turns into paths: shortcut file names and the program folder.
#include <gtest/gtest.h>

#include "setupdata/names.h"

namespace {

TEST(Names, ValidFileNames)
{
    const struct {
        const char* name;
        bool valid;
    } cases[] = {
        {"PkgMgr", true}, {"Package Manager 2.0", true}, {".hidden", true}, {"CONSOLE", true},
        {"COM10", true}, {"LPT0", true}, {"NULL.txt", true}, {"my-con", true}, {"a..b", true},
        {"", false}, {"..\\Evil", false}, {"a/b", false}, {"C:x", false}, {"name:stream", false},
        {"a*", false}, {"why?", false}, {"\"q\"", false}, {"<a>", false}, {"a|b", false},
        {"tab\there", false}, {"ends.", false}, {"ends ", false}, {"..", false}, {"CON", false},
        {"con", false}, {"Nul.txt", false}, {"aux.tar.gz", false}, {"PRN", false}, {"COM1", false},
        {"lpt9.doc", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, isValidFileName(c.name)) << '"' << c.name << '"';
    EXPECT_FALSE(isValidFileName(nullptr));
}

TEST(Names, AbsoluteFolders)
{
    const struct {
        const char* folder;
        bool absolute;
    } cases[] = {
        {"C:\\Program Files\\PkgMgr", true}, {"d:\\", true}, {"\\\\server\\share", true},
        {"\\\\server\\share\\PkgMgr", true}, {"PkgMgr", false}, {"C:PkgMgr", false},
        {"\\PkgMgr", false}, {"\\\\server", false}, {"\\\\server\\", false}, {"\\\\\\share", false},
        {"1:\\x", false}, {"", false}, {"..\\PkgMgr", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.absolute, isAbsoluteFolder(c.folder)) << '"' << c.folder << '"';
    EXPECT_FALSE(isAbsoluteFolder(nullptr));
}

TEST(Names, ValidFolderPaths)
{
    const struct {
        const char* folder;
        bool valid;
    } cases[] = {
        {"C:\\Program Files\\PkgMgr", true}, {"C:\\Program Files\\..\\..\\PkgMgr", true},
        {"C:\\a\\\\b\\", true}, {"\\\\server\\share\\PkgMgr", true}, {"C:\\", true},
        {"C:\\Program Files\\D:\\x", false}, {"C:\\Program Files\\PkgMgr/Hostile", false},
        {"C:\\Programs\\a?b", false}, {"C:\\Programs\\NUL\\x", false}, {"C:\\dot.\\x", false},
        {"PkgMgr", false}, {"\\\\server\\share\\a|b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, isValidFolderPath(c.folder)) << '"' << c.folder << '"';
}

}  // namespace
