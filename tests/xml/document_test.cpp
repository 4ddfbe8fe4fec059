#include "xml/document.h"

#include <gtest/gtest.h>

#include <string>

#include "xml/heap.h"
#include "xml_test_support.h"

namespace {

// A compact rendering of a tree: name(attr=value,...)'text'{children}.
std::string render(const XmlNode& node)
{
    std::string out = node.name;
    if (node.attributeCount) {
        out += '(';
        for (uint32_t i = 0; i < node.attributeCount; ++i) {
            out += i ? "," : "";
            out += std::string(node.attributes[i].name) + "=" + node.attributes[i].value;
        }
        out += ')';
    }
    if (node.text[0])
        out += "'" + std::string(node.text) + "'";
    if (node.children) {
        EXPECT_GT(node.children->count, 0u);
        out += '{';
        for (uint32_t i = 0; i < node.children->count; ++i)
            out += (i ? " " : "") + render(node.children->items[i]);
        out += '}';
    }
    return out;
}

std::string render(const XmlDocument& document)
{
    std::string out;
    for (uint32_t i = 0; i < document.nodeCount; ++i)
        out += (i ? " " : "") + render(document.nodes[i]);
    return out;
}

const std::string kProlog = "<?xml version=\"1.0\"?>";

TEST(XmlLoad, BuildsTheTreeOfAcceptedDocuments)
{
    struct Case {
        std::string input;
        const char* tree;
    } cases[] = {
        {kProlog + "<build></build>", "?xml(version=1.0) build"},
        {"\xEF\xBB\xBF" + kProlog + "<b></b>", "?xml(version=1.0) b"},
        {"      <?xml ?><b></b>", "?xml b"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><b></b>", "?xml(version=1.0,encoding=UTF-8) b"},
        // comments leave no node, also "<!-->"
        {"<?xml ?><!-- c --><r><a></a><!--x--><b></b></r>", "?xml r{a b}"},
        {"<?xml ?><!--><r></r>", "?xml r"},
        // leading whitespace dropped, trailing kept
        {"<?xml ?><r>  a &amp; b  </r>", "?xml r'a & b  '"},
        {"<?xml ?><a>x<b/></a>", "?xml a'x'{b}"},
        {"<?xml ?><a>\n  <b>t</b>\n</a>", "?xml a{b't'}"},
        {"<?xml ?><data><![CDATA[p &amp; <q>]]></data>", "?xml data{![CDATA'p &amp; <q>'}"},
        {"<?xml ?><r><a></a><a/><a /><a\t/></r>", "?xml r{a a a a}"},
        {"<?xml ?><r><a x=\"1\"/><b y=\"2\" /></r>", "?xml r{a(x=1) b(y=2)}"},
        {"<?xml ?><r\tx=\"1\"\n>t</r>", "?xml r(x=1)'t'"},
        {"<?xml ?><r a=\"&quot;x&quot;\" b=\"&#65;\"></r>", "?xml r(a=\"x\",b=&#65;)"},
        {"<?xml ?><r a=\"1\" a=\"2\"></r>", "?xml r(a=1,a=2)"},
        {"<?xml ?><r a=\"\"></r>", "?xml r(a=)"},
        // bare names: empty value when more follows, dropped at the end of the tag
        {"<?xml ?><r a b=\"1\"></r>", "?xml r(a=,b=1)"},
        {"<?xml ?><r b=\"1\" a></r>", "?xml r(b=1)"},
        {"<?xml ?><r a =\"1\"></r>", "?xml r(a=,=1)"},
        // top-level declarations and instructions; text between items is skipped
        {"<?xml ?><!DOCTYPE build><build></build>", "?xml !DOCTYPE build"},
        {"<?xml ?><!DOCTYPE>x<?pi a=\"1\"?><![CDATA[c]]><r></r>", "?xml !DOCTYPE ?pi(a=1) ![CDATA'c' r"},
        {"<?xml ?>hello<r></r>", "?xml r"},
        // after an element's end tag only '<' goes on; the rest is ignored
        {"<?xml ?><r></r>  <s></s>", "?xml r s"},
        {"<?xml ?><r></r>trailing <s></s>", "?xml r"},
        // text after a child (mixed content) is dropped
        {"<?xml ?><r><a></a>tail<b></b>more</r>", "?xml r{a b}"},
        {"<?xml ?><r><a/>tail<b></b></r>", "?xml r{a b}"},
        // names are taken as written, '/' inside a name included
        {"<?xml ?><R><a/b></a/b></R>", "?xml R{a/b}"},
        // a NUL byte ends the input
        {std::string("<?xml ?><r></r>\0<s></s>", 23), "?xml r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        DocumentPtr document(loadText(c.input));
        ASSERT_TRUE(document);
        EXPECT_EQ(render(*document), c.tree);
    }
}

TEST(XmlLoad, RejectsUnacceptedDocuments)
{
    const std::string cases[] = {
        "",
        "<r></r>",
        "<?xml\tversion=\"1.0\"?><r></r>",
        "<?XML ?><r></r>",
        "<?xml?><r></r>",
        "       <?xml ?><r></r>",  // prolog starts at byte 8
        std::string("<\0?\0x\0m\0l\0 \0", 12),
        "<?xml ?>",
        "<?xml ?><!--c-->",
        "<?xml ?><r/>",                // a self-closing root is not followed by '<'
        "<?xml ?><r></r><!--c-->",     // nor is a trailing comment
        "<?xml version = \"1.0\"?><r></r>",
        "<?xml version='1.0'?><r></r>",
        "<?xml ?><r a= \"1\"></r>",
        "<?xml ?><r a='1'></r>",
        "<?xml ?><r a=\"x>y\"></r>",
        "<?xml ?><r><a b=\"1/></a></r>",
        "<?xml ?><r></R>",
        "<?xml ?><r></r >",
        "<?xml ?><r></ r>",
        "<?xml ?><r></rr>",
        "<?xml ?><r><a></r>",
        "<?xml ?><r>text",
        "<?xml ?><r><?pi?></r>",
        "<?xml ?><r><!DOCTYPE r></r>",
        "<?xml ?><r><![CDATA[x]]</r>",
        "<?xml ?><!DOCTYPE r",
        std::string("<?xml ?><r>\0</r>", 16),
    };
    for (const std::string& input : cases) {
        SCOPED_TRACE(input);
        long live = xmlHeapLiveBlocks();
        EXPECT_EQ(loadText(input), nullptr);
        EXPECT_EQ(xmlHeapLiveBlocks(), live);
    }
}

// Where a failed load failed: the construct being read, marked "@" in each case.
TEST(XmlLoad, ReportsWhereALoadFailed)
{
    const std::string cases[] = {
        "@no prolog",
        "<?xml ?>@<r>text runs to the end",
        "<?xml ?><r>@</R>",
        "<?xml ?><r><a>@</r>",
        "<?xml ?><r @a='1'></r>",
        "<?xml ?><r><a b=\"1\" @c=2/></r>",
        "<?xml ?><r>@<!-- never closed </r>",
        "<?xml ?><r><a><b>@<![CDATA[x]]</b></a></r>",
    };
    for (std::string input : cases) {
        SCOPED_TRACE(input);
        const size_t expected = input.find('@');
        input.erase(expected, 1);
        size_t failedAt = 12345;
        EXPECT_EQ(nullptr, xmlLoadDocumentAt(input.data(), input.size(), &failedAt));
        EXPECT_EQ(expected, failedAt);
    }
    size_t failedAt = 12345;
    DocumentPtr loaded(xmlLoadDocumentAt("<?xml ?><r/>x<s></s>", 20, &failedAt));
    EXPECT_EQ(0u, failedAt) << "a load that succeeds reports nothing";
}

// Every construct cut at every byte: the root's end tag comes last, so each
// strict prefix must fail, and release all it took.
TEST(XmlLoad, EveryTruncationFailsAndLeaksNothing)
{
    const std::string documents[] = {
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE build>\n<!-- note -->\n"
        "<?pi a=\"1\"?>\n<build id=\"x\" v=\"&amp;\">\n  <a/><b c=\"1\" />\n</build>",
        "<?xml ?><r><![CDATA[raw ]] ]]><!-- c --><t>text &lt; more</t></r>",
        "<?xml ?><r><s><t a=\"1\" b=\"2\"><u></u></t></s></r>\n",
    };
    for (const std::string& full : documents) {
        long live = xmlHeapLiveBlocks();
        DocumentPtr document(loadText(full));
        EXPECT_TRUE(document) << full;
        document.reset();
        size_t end = full.find_last_of('>') + 1;
        for (size_t length = 0; length < end; ++length) {
            std::string prefix = full.substr(0, length);
            EXPECT_EQ(loadText(prefix), nullptr) << prefix;
        }
        EXPECT_EQ(xmlHeapLiveBlocks(), live);
    }
}

TEST(XmlLoad, AllocationFailureAtAnyPointReleasesEverything)
{
    std::string wide = "<?xml a=\"1\"?><r x=\"1\">";
    for (int i = 0; i < 200; ++i)
        wide += "<i id=\"" + std::to_string(i) + "\"><d>t</d></i>";
    wide += "</r>";
    const std::string documents[] = {
        "<?xml ?><!DOCTYPE r><r a=\"1\"><b c=\"2\"><d/></b><e></e></r><s></s>",
        wide,
    };
    for (const std::string& text : documents) {
        long live = xmlHeapLiveBlocks();
        bool loaded = false;
        for (long allowed = 0; !loaded && allowed < 1000; ++allowed) {
            xmlHeapFailAfter(allowed);
            XmlDocument* document = loadText(text);
            xmlHeapFailAfter(-1);
            loaded = document != nullptr;
            xmlDeleteDocument(document);
            EXPECT_EQ(xmlHeapLiveBlocks(), live) << "after " << allowed << " allocations";
        }
        EXPECT_TRUE(loaded);
    }
}

std::string nested(int depth, const std::string& inner)
{
    std::string text = "<?xml ?>";
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    return text;
}

TEST(XmlLoad, NestingIsBoundedByTheDepthLimit)
{
    struct Case {
        int depth;
        const char* inner;
        bool loads;
    } cases[] = {
        {kXmlMaxDepth, "", true},
        {kXmlMaxDepth, "<!-- c -->", false},
        {kXmlMaxDepth - 1, "<![CDATA[x]]>", true},
        {kXmlMaxDepth + 1, "", false},
        {200000, "", false},  // would overflow the stack without the bound
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        DocumentPtr document(loadText(nested(c.depth, c.inner)));
        EXPECT_EQ(document != nullptr, c.loads);
    }
}

TEST(XmlLoad, KeepsHundredThousandSiblingsInOrder)
{
    std::string text = "<?xml ?><r>";
    for (int i = 0; i < 100000; ++i)
        text += "<i n=\"" + std::to_string(i) + "\"/>";
    text += "</r>";
    DocumentPtr document(loadText(text));
    ASSERT_TRUE(document);
    const XmlNodeList* list = document->nodes[1].children;
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count, 100000u);
    for (uint32_t i = 0; i < list->count; i += 9999)
        EXPECT_EQ(std::string(list->items[i].attributes[0].value), std::to_string(i));
}

TEST(XmlLoad, DecodesTheFivePredefinedEntitiesOnceFromLeftToRight)
{
    struct Case {
        const char* raw;
        const char* decoded;
    } cases[] = {
        {"&lt;&gt;&amp;&quot;&apos;", "<>&\"'"},
        {"&amp;lt;", "&lt;"},
        {"&amp;amp;", "&amp;"},
        {"&&lt;", "&<"},
        {"a&amp;&amp;b", "a&&b"},
        {"&#65;&#x41;", "&#65;&#x41;"},
        {"&LT;&Amp;&nbsp;", "&LT;&Amp;&nbsp;"},
        {"&lt", "&lt"},
        {"&am", "&am"},
        {"x&", "x&"},
        {"&quot;x&quot;", "\"x\""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        DocumentPtr document(loadText(std::string("<?xml ?><r v=\"") + c.raw + "\">" + c.raw + "</r>"));
        ASSERT_TRUE(document);
        const XmlNode& root = document->nodes[1];
        EXPECT_STREQ(root.attributes[0].value, c.decoded);
        EXPECT_STREQ(root.text, c.decoded);
    }
}

TEST(XmlFree, ReleasesOnceAndLeavesTheRecordEmpty)
{
    long live = xmlHeapLiveBlocks();
    XmlDocument* document = loadText("<?xml ?><r a=\"1\">t<b><c/></b></r>");
    ASSERT_TRUE(document);
    XmlNode& root = document->nodes[1];
    xmlFreeNode(&root);
    EXPECT_EQ(root.attributes, nullptr);
    EXPECT_EQ(root.attributeCount, 0u);
    EXPECT_EQ(root.children, nullptr);
    EXPECT_STREQ(root.name, "r");
    EXPECT_STREQ(root.text, "t");

    EXPECT_TRUE(xmlFreeDocument(document));
    EXPECT_EQ(document->nodes, nullptr);
    EXPECT_EQ(document->nodeCount, 0u);
    EXPECT_EQ(document->buffer, nullptr);
    EXPECT_FALSE(xmlFreeDocument(document));
    xmlDeleteDocument(document);
    EXPECT_EQ(xmlHeapLiveBlocks(), live);
}

}  // namespace
