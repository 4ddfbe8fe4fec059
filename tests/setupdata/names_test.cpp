// Names the setup turns into paths: shortcut file names, program and menu folders.
#include <gtest/gtest.h>

#include "setupdata/names.h"

namespace {

TEST(Names, FileNamesAndFolders)
{
    using Check = bool (*)(const char*);
    const Check file = isValidFileName;
    const Check absolute = isAbsoluteFolder;
    const Check path = isValidFolderPath;
    const struct {
        Check check;
        const char* text;
        bool valid;
    } cases[] = {
        {file, "PkgMgr", true}, {file, "Package Manager 2.0", true}, {file, ".hidden", true},
        {file, "CONSOLE", true}, {file, "COM10", true}, {file, "LPT0", true}, {file, "NULL.txt", true},
        {file, "my-con", true}, {file, "a..b", true}, {file, "", false}, {file, "..\\Evil", false},
        {file, "a/b", false}, {file, "C:x", false}, {file, "name:stream", false}, {file, "a*", false},
        {file, "why?", false}, {file, "\"q\"", false}, {file, "<a>", false}, {file, "a|b", false},
        {file, "tab\there", false}, {file, "ends.", false}, {file, "ends ", false}, {file, "..", false},
        {file, "CON", false}, {file, "con", false}, {file, "Nul.txt", false}, {file, "aux.tar.gz", false},
        {file, "PRN", false}, {file, "COM1", false}, {file, "lpt9.doc", false}, {file, nullptr, false},

        {absolute, "C:\\Program Files\\PkgMgr", true}, {absolute, "d:\\", true},
        {absolute, "\\\\server\\share", true}, {absolute, "\\\\server\\share\\PkgMgr", true},
        {absolute, "PkgMgr", false}, {absolute, "C:PkgMgr", false}, {absolute, "\\PkgMgr", false},
        {absolute, "\\\\server", false}, {absolute, "\\\\server\\", false}, {absolute, "\\\\\\share", false},
        {absolute, "1:\\x", false}, {absolute, "", false}, {absolute, "..\\PkgMgr", false},
        {absolute, nullptr, false},

        {path, "C:\\Program Files\\PkgMgr", true}, {path, "C:\\Program Files\\..\\..\\PkgMgr", true},
        {path, "C:\\a\\\\b\\", true}, {path, "\\\\server\\share\\PkgMgr", true}, {path, "C:\\", true},
        {path, "C:\\Program Files\\D:\\x", false}, {path, "C:\\Program Files\\PkgMgr/Hostile", false},
        {path, "C:\\Programs\\a?b", false}, {path, "C:\\Programs\\NUL\\x", false}, {path, "C:\\dot.\\x", false},
        {path, "PkgMgr", false}, {path, "\\\\server\\share\\a|b", false},
    };
    for (const auto& c : cases) {
        const char* kind = c.check == file ? "file name" : c.check == absolute ? "absolute" : "folder path";
        EXPECT_EQ(c.valid, c.check(c.text)) << kind << " \"" << (c.text ? c.text : "(null)") << '"';
    }
}

}  // namespace
