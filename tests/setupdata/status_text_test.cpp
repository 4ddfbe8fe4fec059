// Fitting a folder path into the folder browser's status line, one pass at a time.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "setupdata/status_text.h"

namespace {

const char kFolder[] = "C:\\Alpha\\Beta\\Gamma\\Delta";

TEST(StatusText, EachPassDropsOneMoreFolderFromTheMiddle)
{
    char text[260];
    strcpy(text, kFolder);
    const char* const expected[] = {
        "C:\\Alpha\\Beta ... \\Delta",
        "C:\\Alpha ... \\Delta",
        "C: ... \\Delta",
    };
    for (const char* step : expected) {
        ASSERT_EQ(1, shortenStatusText(text, sizeof text, kFolder)) << step;
        EXPECT_STREQ(step, text);
    }
    EXPECT_EQ(0, shortenStatusText(text, sizeof text, kFolder)) << "one backslash is left";
    EXPECT_STREQ("C: ... \\Delta", text);
}

TEST(StatusText, FewerThanTwoBackslashesLeaveTheTextAlone)
{
    struct Case {
        const char* text;
        const char* folder;
    };
    const Case cases[] = {
        {"", kFolder},
        {"Delta", kFolder},
        {"C:\\", "C:\\"},
        {"C:\\Delta", "C:\\Delta"},
        {"\\Delta", kFolder},
    };
    for (const Case& c : cases) {
        char text[260];
        strcpy(text, c.text);
        EXPECT_EQ(0, shortenStatusText(text, sizeof text, c.folder)) << c.text;
        EXPECT_STREQ(c.text, text);
    }
}

TEST(StatusText, TheNameComesFromTheFolderNotFromTheText)
{
    // The text may already have been cut; the last name is always the folder's.
    char text[260] = "C:\\Alpha\\Beta";
    ASSERT_EQ(1, shortenStatusText(text, sizeof text, "C:\\Alpha\\Beta\\Gamma"));
    EXPECT_STREQ("C: ... \\Gamma", text);

    // A folder without a backslash contributes nothing after the dots.
    strcpy(text, "C:\\Alpha\\Beta");
    ASSERT_EQ(1, shortenStatusText(text, sizeof text, "Gamma"));
    EXPECT_STREQ("C: ... ", text);
}

TEST(StatusText, NeverWritesBeyondItsCapacity)
{
    // The result grows past the buffer: it is cut, terminated inside, and the bytes
    // after the buffer stay untouched.
    const std::string folder = "C:\\A\\" + std::string(40, 'N');
    const std::string whole = "C: ... \\" + std::string(40, 'N');
    for (size_t capacity : {8u, 10u, 12u, 20u}) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        strcpy(buffer, "C:\\A\\B");
        shortenStatusText(buffer, capacity, folder.c_str());
        const size_t length = strnlen(buffer, capacity);
        ASSERT_LT(length, capacity) << capacity;
        EXPECT_EQ(whole.substr(0, length), std::string(buffer, length)) << capacity;
        for (size_t i = capacity; i < sizeof buffer; ++i)
            ASSERT_EQ('#', buffer[i]) << "capacity " << capacity << ", byte " << i;
    }
}

}  // namespace
