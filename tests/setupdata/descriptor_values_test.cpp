#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "setupdata/descriptor_values.h"
#include "xml/document.h"

namespace {

// A descriptor whose release "RELEASE" of product "PKGMGR" holds `release`, with
// `extra` elements after the product.
std::string descriptor(const std::string& release, const std::string& extra = "")
{
    return "<?xml version=\"1.0\"?>\n<build>\n<zem id=\"PKGMGR\"><xrelease><release id=\"RELEASE\">" +
           release + "</release></xrelease>" + extra + "</zem>\n</build>\n";
}

class Descriptor {
public:
    explicit Descriptor(const std::string& text) : document_(xmlLoadDocument(text.data(), text.size()))
    {
        EXPECT_NE(nullptr, document_) << text;
    }
    ~Descriptor() { xmlDeleteDocument(document_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // The value of `key`, "(0)" when the lookup gives 0, "(empty)" for the empty result.
    std::string read(const char* key, const char* product = "PKGMGR", size_t size = 260)
    {
        if (document_ == nullptr)
            return "(no document)";
        char out[300];
        memset(out, '#', sizeof out);
        out[sizeof out - 1] = '\0';
        SystemProfile profile = {};
        profile.language = 0x0407;
        profile.primaryLanguage = 0x0007;
        int result = readDescriptorValue("RELEASE", key, out, size, product, document_, &profile, 7);
        if (result == 7)
            return out[0] == '#' ? "(empty)" : "(empty, but out written)";
        if (result == 0)
            return out[0] == '#' ? "(0)" : "(0, but out written)";
        return out;
    }

private:
    XmlDocument* document_;
};

TEST(DescriptorValues, TextOfTheKeyedElement)
{
    Descriptor d(descriptor("<title>Package Manager</title><version>1.03.0000</version>"
                            "<os id=\"NT\">nt-text</os><os id=\"9X\">9x-text</os>"
                            "<dependency id=\"IE\">5.0</dependency>"));
    EXPECT_EQ("Package Manager", d.read("NAME"));
    EXPECT_EQ("Package Manager", d.read("name"));  // keys ignore letter case
    EXPECT_EQ("Package Manager", d.read("Name"));
    EXPECT_EQ("1.03.0000", d.read("VERSION"));
    EXPECT_EQ("9x-text", d.read("9X"));
    EXPECT_EQ("nt-text", d.read("nt"));
    EXPECT_EQ("5.0", d.read("IE"));
    EXPECT_EQ("(0)", d.read("DX"));        // no such element
    EXPECT_EQ("(0)", d.read("TITLE"));     // not a key
    EXPECT_EQ("(0)", d.read("NAME", "pkgmgr"));  // ids compare exactly
}

TEST(DescriptorValues, AttributesOfTheFirstOrConditionedElement)
{
    Descriptor d(descriptor("<setup form=\"plain\" success=\"0\">a</setup>"
                            "<setup method=\"SILENT\" form=\"quiet\" success=\"3\">b</setup>"
                            "<uninstall reg=\"2\">u</uninstall>"));
    EXPECT_EQ("plain", d.read("SETUPFORM"));
    EXPECT_EQ("quiet", d.read("SETUPFORM.SILENT"));
    EXPECT_EQ("0", d.read("SETUP.SUCCESS"));
    EXPECT_EQ("3", d.read("SETUP.SILENT.SUCCESS"));
    EXPECT_EQ("b", d.read("SETUP.SILENT"));
    EXPECT_EQ("2", d.read("REGVERSION"));
    EXPECT_EQ("a", d.read("SETUP"));
}

TEST(DescriptorValues, EmptyTextGivesTheEmptyResult)
{
    Descriptor d(descriptor("<title></title><version/>"));
    EXPECT_EQ("(empty)", d.read("NAME"));
    EXPECT_EQ("(empty)", d.read("VERSION"));
}

TEST(DescriptorValues, CdataAndChildRules)
{
    Descriptor d(descriptor("<title>ignored<![CDATA[A &amp; B]]></title>"
                            "<version><gd path=\"/build/v\"/><gd path=\"/build/v\"/></version>"
                            "<device><![CDATA[x]]><gd path=\"/build/v\"/></device>"
                            "<setup><other/></setup>"));
    EXPECT_EQ("A &amp; B", d.read("NAME"));  // CDATA stays undecoded
    EXPECT_EQ("(0)", d.read("VERSION"));     // two children
    EXPECT_EQ("(0)", d.read("DEVICE"));
    EXPECT_EQ("(0)", d.read("SETUP"));       // one child of another name
}

// A selector with language items, as the "gd" references reach it.
const char kSelector[] =
    "<names method=\"LANGUAGE\" default=\"0409\">"
    "<item id=\"0409\"><data>English</data><data id=\"short\">EN</data></item>"
    "<item id=\"0407\"><data>Deutsch</data><data id=\"short\">DE</data></item>"
    "</names>";

TEST(DescriptorValues, ReferencesThroughSelectors)
{
    Descriptor d(descriptor("<title><gd zempath=\"names\"></gd></title>"
                            "<version><gd zempath=\"names\">short</gd></version>"
                            "<device><gd path=\"/build/zem[@id=PKGMGR]/names\"/></device>"
                            "<setup><gd zempath=\"names\" path=\"/build/none\"/></setup>"
                            "<uninstall><gd path=\"/build/none\" zempath=\"names\"/></uninstall>"
                            "<os id=\"NT\"><gd other=\"names\"/></os>",
                            kSelector));
    EXPECT_EQ("Deutsch", d.read("NAME"));  // the machine's language, first data element
    EXPECT_EQ("DE", d.read("VERSION"));
    EXPECT_EQ("Deutsch", d.read("DEVICE"));
    EXPECT_EQ("Deutsch", d.read("SETUP"));    // zempath comes first
    EXPECT_EQ("(0)", d.read("UNINSTALL"));    // path comes first and selects nothing
    EXPECT_EQ("(0)", d.read("NT"));           // neither attribute
}

TEST(DescriptorValues, ChosenDataIsReadByTheSameRules)
{
    Descriptor d(descriptor("<title><gd zempath=\"outer\"/></title>",
                            "<outer method=\"LANGUAGE\" default=\"0409\"><item id=\"0409\"><data>"
                            "<gd zempath=\"inner\"/></data></item></outer>"
                            "<inner method=\"LANGUAGE\" default=\"0409\"><item id=\"0409\"><data>"
                            "<![CDATA[deep]]></data></item></inner>"));
    EXPECT_EQ("deep", d.read("NAME"));
}

TEST(DescriptorValues, CircularReferencesEndTheLookup)
{
    Descriptor d(descriptor("<title><gd zempath=\"loop\"/></title>",
                            "<loop method=\"LANGUAGE\" default=\"0409\"><item id=\"0409\"><data>"
                            "<gd zempath=\"loop\"/></data></item></loop>"));
    EXPECT_EQ("(0)", d.read("NAME"));
}

TEST(DescriptorValues, ValuesAndPathsMustFit)
{
    std::string long259(259, 'v');
    std::string long260(260, 'v');
    Descriptor d(descriptor("<title>" + long259 + "</title><version>" + long260 + "</version>"
                            "<device><gd path=\"/" + std::string(259, 'p') + "\"/></device>"
                            "<setup><gd zempath=\"" + std::string(240, 'z') + "\"/></setup>"));
    EXPECT_EQ(long259, d.read("NAME"));
    EXPECT_EQ("(0)", d.read("VERSION"));  // 261 bytes with the terminator
    EXPECT_EQ("(0)", d.read("DEVICE"));
    EXPECT_EQ("(0)", d.read("SETUP"));
    EXPECT_EQ("(0)", d.read("NAME", std::string(240, 'P').c_str()));
    EXPECT_EQ("(0)", d.read("NAME", "PKGMGR", 10));  // the caller's capacity counts too
}

}  // namespace
