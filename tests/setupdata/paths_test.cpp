// The path operations under each code page of the product's languages: a name whose
// characters end in the byte 0x5C (the backslash) is never cut.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "platform/paths.h"
#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// Under Windows only the system's code page can be tried.
bool useCodePage(unsigned codePage)
{
#if defined(_WIN32)
    return GetACP() == codePage;
#else
    return setPathCodePage(codePage) != 0;
#endif
}

TEST(Paths, NoOperationCutsACharacter)
{
    const struct {
        unsigned codePage;
        const char* folder;  // a name in the middle of a path
        const char* name;    // a last name, its last byte 0x5C where the code page has such
    } cases[] = {
        {932, "\x83\x5C\x83\x74\x83\x67\x8A\xC7\x97\x9D", "\x95\x5C"},  // "ソフト管理", "表"
        {936, "\x81\x5C\xBB\xBB", "\x81\x5C"},                          // "乗换", "乗"
        {949, "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5", "\xC7\xA5"},          // "프로그램", "표"
        {950, "\xA5\x5C\xAF\xE0", "\xB3\x5C"},                          // "功能", "許"
        {1252, "Soci\xE9t\xE9", "\xDC"},                                // "Société", "Ü"
    };
    int tried = 0;
    for (const auto& c : cases) {
        if (!useCodePage(c.codePage))
            continue;
        ++tried;
        SCOPED_TRACE(c.codePage);
        const std::string folder = std::string("C:\\") + c.folder;
        const std::string path = folder + "\\" + c.name;
        const std::string share = std::string("\\\\") + c.name + "\\" + c.folder;

        EXPECT_EQ(2u, pathRootLength(path.c_str()));
        EXPECT_EQ(share.size(), pathRootLength(share.c_str()));
        EXPECT_EQ(share.size(), pathRootLength((share + "\\" + c.name).c_str()));
        EXPECT_EQ(0u, pathRootLength(c.name));

        EXPECT_EQ(folder.size(), parentLength(path.c_str()));
        EXPECT_EQ(2u, parentLength(folder.c_str()));
        EXPECT_EQ(0u, parentLength(c.name));
        EXPECT_EQ(share.size(), parentLength((share + "\\" + c.name).c_str()));
        EXPECT_STREQ(c.name, lastPathName(path.c_str()));
        EXPECT_STREQ(c.name, lastPathName(c.name));
        EXPECT_EQ(path.c_str() + folder.size(), lastSeparator(path.c_str()));

        EXPECT_FALSE(endsWithSeparator(path.c_str()));
        EXPECT_TRUE(endsWithSeparator((path + "\\").c_str()));

        char joined[kPathChars];
        copyText(joined, sizeof joined, folder.c_str());
        ASSERT_TRUE(appendPathName(joined, sizeof joined, c.name));
        ASSERT_TRUE(appendPathName(joined, sizeof joined, c.name));
        EXPECT_EQ(path + "\\" + c.name, joined);
        ASSERT_TRUE(endWithSeparator(joined, sizeof joined));
        ASSERT_TRUE(endWithSeparator(joined, sizeof joined));
        EXPECT_EQ(path + "\\" + c.name + "\\", joined);

        // Full: the name does not fit after the separator.
        char small[8] = "C:\\a";
        EXPECT_FALSE(appendPathName(small, sizeof small, c.folder));
    }
    EXPECT_GT(tried, 0);
#if defined(_WIN32)
    // The run on a Japanese system says which code page it expects the system to have.
    if (const char* expected = getenv("PKGMGR_EXPECT_CODE_PAGE")) {
        EXPECT_EQ(unsigned(atoi(expected)), GetACP());
    }
#endif
#if !defined(_WIN32)
    // The same bytes under 1252: "ƒ\" is two characters and the backslash separates.
    ASSERT_TRUE(setPathCodePage(1252));
    EXPECT_STREQ("", lastPathName("C:\\\x95\x5C"));
    EXPECT_TRUE(endsWithSeparator("C:\\\x95\x5C"));
    EXPECT_FALSE(setPathCodePage(437));
    EXPECT_EQ(1252u, pathCodePage());
#endif
}

}  // namespace
