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
        {path, "\\\\?\\C:\\Veltrano", false}, {path, "\\\\.\\C:\\Veltrano", false},
        {path, "\\\\?\\UNC\\server\\share\\x", false},
    };
    for (const auto& c : cases) {
        const char* kind = c.check == file ? "file name" : c.check == absolute ? "absolute" : "folder path";
        EXPECT_EQ(c.valid, c.check(c.text)) << kind << " \"" << (c.text ? c.text : "(null)") << '"';
    }
}

// Every spelling of one folder comes out as one text: the drive-root protection and the
// stored "ProgDir" depend on it. Null: refused.
TEST(Names, CanonicalFolderPath)
{
    const struct {
        const char* folder;
        const char* canonical;
    } cases[] = {
        {"C:\\Veltrano", "C:\\Veltrano"},
        {"C:\\\\Veltrano", "C:\\Veltrano"},
        {"C:\\.\\Veltrano", "C:\\Veltrano"},
        {"C:\\Veltrano\\", "C:\\Veltrano"},
        {"C:\\Veltrano\\.\\\\", "C:\\Veltrano"},
        {"c:\\Temp\\..\\Veltrano", "c:\\Veltrano"},
        {"C:\\..\\..\\Veltrano", "C:\\Veltrano"},
        {"C:\\Program Files\\\\PkgMgr\\..\\Veltrano\\", "C:\\Program Files\\Veltrano"},
        {"C:\\", "C:\\"},
        {"C:\\.\\..\\", "C:\\"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"\\\\server\\share\\\\a\\.\\..\\..\\b\\", "\\\\server\\share\\b"},
        {"\\\\?\\C:\\Veltrano", nullptr},
        {"\\\\.\\C:\\Veltrano", nullptr},
        {"C:Veltrano", nullptr},
        {"C:\\Velt/rano", nullptr},
        {"C:\\Veltrano.\\x", nullptr},
    };
    for (const auto& c : cases) {
        char out[260] = "unchanged";
        int done = canonicalFolderPath(c.folder, out, sizeof out);
        if (c.canonical == nullptr) {
            EXPECT_EQ(0, done) << c.folder;
        } else {
            EXPECT_EQ(1, done) << c.folder;
            EXPECT_STREQ(c.canonical, out) << c.folder;
        }
    }
    // A result that does not fit fails rather than being cut.
    char small[12];
    EXPECT_EQ(0, canonicalFolderPath("C:\\Veltrano\\PkgMgr", small, sizeof small));
    EXPECT_EQ(1, canonicalFolderPath("C:\\.\\.\\.\\Veltrano", small, sizeof small));
}

}  // namespace
