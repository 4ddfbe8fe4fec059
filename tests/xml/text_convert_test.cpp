#include "xml/text_convert.h"

#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// What the system's ANSI code page makes of a UTF-8 text: on Windows as the
// platform converts it, on the host the ISO-8859-1 mapping.
std::string expectedAnsi(const std::string& utf8)
{
#if defined(_WIN32)
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], units);
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(ansi.size() - 1);
    return ansi;
#else
    static const struct {
        const char* utf8;
        const char* ansi;
    } kMapping[] = {
        {"plain", "plain"},
        {"\xC3\xA9", "\xE9"},
        {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
        {"\xE2\x82\xAC", "?"},
        {"\xF0\x9F\x98\x80", "?"},
        {"a\xFF" "b", "a?b"},
        {"\xC3", "?"},
        {"\xC0\xAF", "??"},
        {"\xED\xA0\x80", "???"},
        {"", ""},
    };
    for (const auto& entry : kMapping) {
        if (utf8 == entry.utf8)
            return entry.ansi;
    }
    ADD_FAILURE() << "no expectation for " << utf8;
    return "";
#endif
}

TEST(ConvertUtf8ToAnsi, ConvertsStoredText)
{
    const char* cases[] = {
        "plain", "\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "a\xFF" "b", "\xC3", "\xC0\xAF",
        "\xED\xA0\x80", "",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        char out[260];
        ASSERT_TRUE(convertUtf8ToAnsi(text, out, sizeof out));
        EXPECT_EQ(std::string(out), expectedAnsi(text));
    }
}

// The descriptor checks read into 260 bytes: a result that needs 261 does not
// fit, and the output is left as it was.
TEST(ConvertUtf8ToAnsi, FailsWithoutTouchingTheOutputWhenTheResultDoesNotFit)
{
    std::string accents;
    for (int i = 0; i < 259; ++i)
        accents += "\xC3\xA9";  // 518 bytes of UTF-8, one byte each in a Western code page
    const std::string accent = expectedAnsi("\xC3\xA9");
    struct Case {
        std::string text;
        bool fits;
        std::string ansi;
    } cases[] = {
        {std::string(259, 'a'), true, std::string(259, 'a')},
        {std::string(260, 'a'), false, ""},
        {std::string(259, 'a') + "\xC3\xA9", false, ""},
        {accents, accent.size() == 1, std::string(259, accent[0])},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        char out[260];
        memset(out, '#', sizeof out);
        EXPECT_EQ(convertUtf8ToAnsi(c.text.c_str(), out, sizeof out) != 0, c.fits);
        if (c.fits) {
            EXPECT_EQ(std::string(out), c.ansi);
        } else {
            for (char byte : out)
                ASSERT_EQ(byte, '#');
        }
    }
}

}  // namespace
