#include "xml/path_query.h"

#include <gtest/gtest.h>

#include <string>

#include "xml_test_support.h"

namespace {

const char kDescriptor[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE build>\n"
    "<build>\n"
    "  <zem id=\"OTHER\"><xrelease>other</xrelease></zem>\n"
    "  <zem id=\"PKGMGR\">\n"
    "    <title>first</title>\n"
    "    <title>second</title>\n"
    "    <item id=\"1\">one</item>\n"
    "    <item id=\"2\">two</item>\n"
    "    <item id=\"a=b\">equals</item>\n"
    "    <item id=\"&amp;\">ampersand</item>\n"
    "    <item k=\"x\" id=\"3\" id=\"4\">three</item>\n"
    "    <item id=\"\">empty</item>\n"
    "    <x>no y</x>\n"
    "    <x><y>deep</y></x>\n"
    "    <val><![CDATA[raw &amp;]]></val>\n"
    "    <sel id=\"[x\">bracket</sel>\n"
    "  </zem>\n"
    "</build>\n";

// "name:text" of the selected node, or "-" when nothing is selected.
std::string select(const XmlDocument* document, const std::string& path)
{
    const XmlNode* node = nullptr;
    if (!xmlSelectNode(path.c_str(), document, &node))
        return "-";
    return std::string(node->name) + ":" + node->text;
}

TEST(XmlSelectNode, FollowsStepsPredicatesAndDocumentOrder)
{
    DocumentPtr document(loadText(kDescriptor));
    ASSERT_TRUE(document);
    const std::string zem = "/build/zem[@id=PKGMGR]";
    struct Case {
        std::string path;
        const char* selected;
    } cases[] = {
        // the first step names the root
        {"/build", "build:"},
        {"build", "-"},
        {"", "-"},
        {"/", "-"},
        {"/?xml", "-"},
        {"/!DOCTYPE", "-"},
        {"/Build", "-"},
        {"/build[@id=x]", "-"},
        // an empty step ends the path
        {"/build/", "build:"},
        {"/build//x", "build:"},
        {zem + "//nothing", "zem:"},
        // plain steps take the first match in document order
        {"/build/zem/xrelease", "xrelease:other"},
        {zem + "/title", "title:first"},
        {zem + "/item", "item:one"},
        {zem + "/Title", "-"},
        {zem + "/title/sub", "-"},
        // predicates
        {zem + "/item[@id=2]", "item:two"},
        {zem + "/item[@id=a=b]", "item:equals"},
        {zem + "/item[@id=&]", "item:ampersand"},
        {zem + "/item[@id=&amp;]", "-"},
        {zem + "/item[@id=3]", "item:three"},
        {zem + "/item[@id=4]", "item:three"},
        {zem + "/item[@k=x]", "item:three"},
        {zem + "/item[@id=]", "item:empty"},
        {zem + "/sel[@id=[x]", "sel:bracket"},
        {zem + "/item[@id=2]ignored", "item:two"},
        {zem + "/item[@id=9][@id=2]", "-"},
        {"/build/zem[@id=pkgmgr]/title", "-"},
        {"/build/zem[@ID=PKGMGR]/title", "-"},
        // malformed predicates select nothing
        {zem + "/item[id=2]", "-"},
        {zem + "/item[@id2]", "-"},
        {zem + "/item[@id=2", "-"},
        {zem + "/item[", "-"},
        // "!" steps are plain names
        {zem + "/val/![CDATA", "![CDATA:raw &amp;"},
        {zem + "/val/![CDATA[", "-"},
        // the walk never backtracks to a later sibling
        {zem + "/x/y", "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(select(document.get(), c.path), c.selected);
    }
}

TEST(XmlSelectNode, SelectsNothingWithPathsBeyondTheEvaluatorsArea)
{
    DocumentPtr document(loadText(kDescriptor));
    ASSERT_TRUE(document);
    std::string path = "/build/zem[@id=PKGMGR]/item[@id=2]";
    path.resize(259, 'x');  // bytes after ']' are ignored
    EXPECT_EQ(select(document.get(), path), "item:two");
    EXPECT_EQ(select(document.get(), path + "x"), "-");
}

TEST(XmlFindRoot, SkipsItemsThatDoNotBeginWithALetter)
{
    struct Case {
        const char* input;
        const char* root;  // null: none
    } cases[] = {
        {"<?xml ?><!DOCTYPE b><![CDATA[x]]><b></b>", "b"},
        {"<?xml ?><_a></_a><b></b>", "b"},
        {"<?xml ?><Z></Z><b></b>", "Z"},
        {"<?xml ?><_a></_a>", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        DocumentPtr document(loadText(c.input));
        ASSERT_TRUE(document);
        const XmlNode* root = xmlFindRoot(document.get());
        if (c.root) {
            ASSERT_TRUE(root);
            EXPECT_STREQ(root->name, c.root);
        } else {
            EXPECT_EQ(root, nullptr);
            EXPECT_EQ(select(document.get(), "/_a"), "-");
        }
    }
}

}  // namespace
