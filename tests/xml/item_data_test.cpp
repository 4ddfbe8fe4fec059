#include "xml/item_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "xml/path_query.h"
#include "xml_test_support.h"

namespace {

// A selector /build/s with the given attributes and one item per id; each
// item holds <data id="d">ID/d</data><data id="e">ID/e</data>.
std::string selectorDocument(const std::string& attributes, const std::vector<std::string>& ids)
{
    std::string text = "<?xml ?><build><s " + attributes + ">";
    for (const std::string& id : ids)
        text += "<item id=\"" + id + "\"><data id=\"d\">" + id + "/d</data><data id=\"e\">" + id + "/e</data></item>";
    return text + "</s></build>";
}

struct Outcome {
    bool selected;
    std::string path;
    std::string text;
};

Outcome selectItemData(const std::string& document, const SystemProfile& profile, const char* dataId = "",
                       size_t capacity = kPathChars)
{
    DocumentPtr tree(loadText(document));
    EXPECT_TRUE(tree);
    std::vector<char> path(capacity, '#');
    copyText(path.data(), capacity, "/build/s");
    Outcome outcome{xmlSelectItemData(path.data(), capacity, dataId, tree.get(), &profile) != 0, path.data(), ""};
    if (outcome.selected) {
        for (size_t i = outcome.path.size(); i < capacity; ++i)
            EXPECT_EQ(path[i], '\0') << "the buffer is zero-filled behind the path";
        const XmlNode* data;
        EXPECT_TRUE(xmlSelectNode(path.data(), tree.get(), &data));
        outcome.text = data->text;
    } else {
        EXPECT_EQ(path[9], '#') << "a failed selection leaves the buffer alone";
    }
    return outcome;
}

SystemProfile profile()
{
    SystemProfile p = {};
    p.language = 0x0407;
    p.primaryLanguage = 0x0007;
    p.osLanguage = 0x0C0A;
    p.osPrimaryLanguage = 0x000A;
    p.biosId = ('K' << 8) | 'T';
    p.biosRevision = 0x2B;
    copyText(p.familyName, sizeof p.familyName, "ThinkPad T40");
    copyText(p.model, sizeof p.model, "2373-G1U");
    copyText(p.osVersion, sizeof p.osVersion, "5.1.2600");
    return p;
}

TEST(XmlSelectItemData, TriesEachMethodsCandidatesInOrder)
{
    SystemProfile zero = {};
    SystemProfile onlyFirstBiosCharacter = profile();
    onlyFirstBiosCharacter.biosId = 'K' << 8;
    SystemProfile bare = profile();
    copyText(bare.osVersion, sizeof bare.osVersion, "5");
    copyText(bare.model, sizeof bare.model, "2373");
    struct Case {
        const char* attributes;
        std::vector<std::string> ids;
        SystemProfile profile;
        const char* chosen;  // the chosen item's id; null when nothing is selected
    } cases[] = {
        {"method=\"LANGUAGE\" default=\"0409\"", {"0409", "0007", "0407"}, profile(), "0407"},
        {"method=\"LANGUAGE\" default=\"0409\"", {"0409", "0007"}, profile(), "0007"},
        {"method=\"LANGUAGE\" default=\"0409\"", {"0409", "0c0a"}, profile(), "0409"},
        {"default=\"0409\" method=\"LANGUAGE\"", {"1234"}, profile(), nullptr},
        {"method=\"LANGUAGE.OS\" default=\"x\"", {"000A", "0C0A"}, profile(), "0C0A"},
        {"method=\"LANGUAGE.OS\" default=\"x\"", {"0c0a", "x"}, profile(), "x"},
        {"method=\"LANGUAGE.OS\" default=\"x\"", {"0000"}, zero, "0000"},
        {"method=\"BIOSID\" default=\"x\"", {"KT", "KT.2B"}, profile(), "KT.2B"},
        {"method=\"BIOSID\" default=\"x\"", {"KT", "x"}, profile(), "KT"},
        {"method=\"BIOSID\" default=\"x\"", {"K", "x"}, onlyFirstBiosCharacter, "K"},
        {"method=\"BIOSID\" default=\"x\"", {"x", ""}, zero, ""},
        {"method=\"OS\" default=\"x\"", {"5.1", "5.1.2600"}, profile(), "5.1.2600"},
        {"method=\"OS\" default=\"x\"", {"5.1", "x"}, profile(), "5.1"},
        {"method=\"OS\" default=\"x\"", {"5", "x"}, bare, "5"},
        {"method=\"OS\" default=\"x\"", {"x", ""}, zero, ""},
        {"method=\"MTM\" default=\"x\"", {"2373", "x"}, profile(), "2373"},
        {"method=\"MTM\" default=\"x\"", {"2373", "x"}, bare, "2373"},
        {"method=\"FAMILYNAME\" default=\"x\"", {"x", "ThinkPad T40"}, profile(), "ThinkPad T40"},
        {"method=\"FAMILYNAME\" default=\"x\"", {"ThinkPad", "x"}, profile(), "x"},
        // method and default must both be there, and the method known
        {"method=\"language\" default=\"0409\"", {"0409"}, profile(), nullptr},
        {"method=\"LANGUAGE\"", {"0409", "0407"}, profile(), nullptr},
        {"default=\"0409\"", {"0409"}, profile(), nullptr},
        {"Method=\"LANGUAGE\" default=\"0409\"", {"0409"}, profile(), nullptr},
        // an id with '/' selects nothing
        {"method=\"LANGUAGE\" default=\"a/b\"", {"a/b"}, profile(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        Outcome outcome = selectItemData(selectorDocument(c.attributes, c.ids), c.profile);
        EXPECT_EQ(outcome.selected, c.chosen != nullptr);
        if (c.chosen && outcome.selected) {
            EXPECT_EQ(outcome.path, std::string("/build/s/item[@id=") + c.chosen + "]/data");
            EXPECT_EQ(outcome.text, std::string(c.chosen) + "/d");
        }
    }
}

TEST(XmlSelectItemData, RejectsCandidatesLongerThanTheMethodsRoom)
{
    SystemProfile longProfile = profile();
    std::string name127(127, 'n');
    copyText(longProfile.familyName, sizeof longProfile.familyName, name127.c_str());
    SystemProfile unterminated = profile();
    memset(unterminated.familyName, 'n', sizeof unterminated.familyName);
    memset(unterminated.model, 'm', sizeof unterminated.model);
    struct Case {
        std::string defaultId;
        const char* method;
        SystemProfile profile;
        std::vector<std::string> ids;
        const char* chosen;
    } cases[] = {
        {"012345678", "LANGUAGE", profile(), {"012345678"}, "012345678"},
        {"0123456789", "LANGUAGE", profile(), {"012345678", "0123456789"}, nullptr},
        {"ABCDE", "BIOSID", profile(), {"ABCDE"}, "ABCDE"},
        {"ABCDEF", "BIOSID", profile(), {"ABCDE", "ABCDEF"}, nullptr},
        {"01234567890", "OS", profile(), {"01234567890"}, "01234567890"},
        {"012345678901", "MTM", profile(), {"01234567890", "012345678901"}, nullptr},
        {"x", "FAMILYNAME", longProfile, {"x", name127}, name127.c_str()},
        {"x", "FAMILYNAME", unterminated, {"x", std::string(128, 'n')}, "x"},
        {"x", "MTM", unterminated, {"x", std::string(12, 'm')}, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.defaultId + " " + c.method);
        std::string attributes = std::string("method=\"") + c.method + "\" default=\"" + c.defaultId + "\"";
        Outcome outcome = selectItemData(selectorDocument(attributes, c.ids), c.profile);
        EXPECT_EQ(outcome.selected, c.chosen != nullptr);
        if (c.chosen && outcome.selected) {
            EXPECT_EQ(outcome.text, std::string(c.chosen) + "/d");
        }
    }
}

TEST(XmlSelectItemData, ChoosesTheDataElementByItsId)
{
    const std::string document = selectorDocument("method=\"LANGUAGE\" default=\"0409\"", {"0407", "0409"});
    struct Case {
        const char* dataId;
        const char* path;  // null when nothing is selected
        const char* text;
    } cases[] = {
        {"", "/build/s/item[@id=0407]/data", "0407/d"},
        {"e", "/build/s/item[@id=0407]/data[@id=e]", "0407/e"},
        {"f", nullptr, ""},
        {"d/x", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataId);
        Outcome outcome = selectItemData(document, profile(), c.dataId);
        EXPECT_EQ(outcome.selected, c.path != nullptr);
        if (c.path && outcome.selected) {
            EXPECT_EQ(outcome.path, c.path);
            EXPECT_EQ(outcome.text, c.text);
        }
    }
}

TEST(XmlSelectItemData, SkipsCandidatePathsThatDoNotFitTheCapacity)
{
    const std::string document = selectorDocument("method=\"LANGUAGE\" default=\"1\"", {"0407", "1"});
    const std::string longPath = "/build/s/item[@id=0407]/data";
    const std::string shortPath = "/build/s/item[@id=1]/data";
    struct Case {
        size_t capacity;
        const char* text;  // null when nothing is selected
    } cases[] = {
        {longPath.size() + 1, "0407/d"},
        {longPath.size(), "1/d"},
        {shortPath.size() + 1, "1/d"},
        {shortPath.size(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        Outcome outcome = selectItemData(document, profile(), "", c.capacity);
        EXPECT_EQ(outcome.selected, c.text != nullptr);
        if (c.text && outcome.selected) {
            EXPECT_EQ(outcome.text, c.text);
        }
    }
}

TEST(XmlSelectItemData, NeedsASelectorWithChildren)
{
    SystemProfile p = profile();
    const char* documents[] = {
        "<?xml ?><build><s method=\"LANGUAGE\" default=\"0409\"></s></build>",
        "<?xml ?><build><t></t></build>",
    };
    for (const char* document : documents) {
        SCOPED_TRACE(document);
        EXPECT_FALSE(selectItemData(document, p).selected);
    }
}

}  // namespace
