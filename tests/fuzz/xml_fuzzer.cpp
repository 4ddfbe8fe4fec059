// Fuzz target of the descriptor engine. The input up to its first NUL is the
// document (the loader stops there too); the NUL-separated texts after it are
// path queries. Loads, checks the tree's invariants, converts every value,
// runs the queries and item/data selections, repeats the load with an
// allocation failure, and frees; a broken invariant aborts.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/text.h"
#include "xml/document.h"
#include "xml/heap.h"
#include "xml/item_data.h"
#include "xml/path_query.h"
#include "xml/text_convert.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

struct Walk {
    const char* begin;  // the document buffer
    const char* end;    // its final NUL
    const XmlDocument* document;
    const SystemProfile* profile;
    size_t nodes;
};

void checkString(const Walk& walk, const char* text)
{
    require(text >= walk.begin && text <= walk.end);
    require(text + strlen(text) <= walk.end);
    char ansi[kPathChars];
    convertUtf8ToAnsi(text, ansi, sizeof ansi);
}

void selectAndCheck(const Walk& walk, const char* path)
{
    const XmlNode* node = nullptr;
    if (xmlSelectNode(path, walk.document, &node))
        require(node != nullptr);
    char buffer[kPathChars];
    if (!copyText(buffer, sizeof buffer, path))
        return;
    const char* dataIds[] = {"", "d", "1"};
    for (const char* dataId : dataIds) {
        char work[kPathChars];
        memcpy(work, buffer, sizeof work);
        if (xmlSelectItemData(work, sizeof work, dataId, walk.document, walk.profile)) {
            const XmlNode* data = nullptr;
            require(xmlSelectNode(work, walk.document, &data));
            // Only an empty step (from "//") can end the walk before "data".
            require(strcmp(data->name, "data") == 0 || strstr(work, "//"));
        } else {
            require(memcmp(work, buffer, sizeof work) == 0);
        }
    }
}

void walkNode(Walk& walk, const XmlNode& node, char* path, unsigned depth)
{
    require(depth <= kXmlMaxDepth);
    ++walk.nodes;
    checkString(walk, node.name);
    checkString(walk, node.text);
    require((node.attributeCount == 0) == (node.attributes == nullptr));
    for (uint32_t i = 0; i < node.attributeCount; ++i) {
        checkString(walk, node.attributes[i].name);
        checkString(walk, node.attributes[i].value);
    }
    // The path by name, and with a predicate on the first attribute.
    size_t length = strlen(path);
    if (appendText(path, kPathChars, "/") && appendText(path, kPathChars, node.name)) {
        selectAndCheck(walk, path);
        if (node.attributeCount) {
            char predicate[kPathChars];
            if (formatText(predicate, sizeof predicate, "%s[@%s=%s]", path, node.attributes[0].name,
                           node.attributes[0].value))
                selectAndCheck(walk, predicate);
        }
    }
    if (node.children) {
        require(node.children->count > 0 && node.children->items != nullptr);
        for (uint32_t i = 0; i < node.children->count; ++i)
            walkNode(walk, node.children->items[i], path, depth + 1);
    }
    path[length] = '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const long live = xmlHeapLiveBlocks();
    XmlDocument* document = xmlLoadDocument(bytes, size);
    if (!document)
        require(xmlHeapLiveBlocks() == live);

    SystemProfile profile = {};
    profile.language = 0x0407;
    profile.primaryLanguage = 0x0007;
    profile.osLanguage = 0x0409;
    profile.osPrimaryLanguage = 0x0009;
    profile.biosId = ('K' << 8) | 'T';
    profile.biosRevision = 0x2B;
    copyText(profile.familyName, sizeof profile.familyName, "ThinkPad");
    copyText(profile.model, sizeof profile.model, "2373-G1U");
    copyText(profile.osVersion, sizeof profile.osVersion, "5.1.2600");

    if (document) {
        // Every string must end inside the document, which ends at the first NUL.
        const char* nul = static_cast<const char*>(memchr(bytes, 0, size));
        Walk walk = {document->buffer, document->buffer + (nul ? size_t(nul - bytes) : size), document, &profile, 0};
        require(document->nodeCount > 0);
        const XmlNode* root = xmlFindRoot(document);
        char path[kPathChars] = {};
        for (uint32_t i = 0; i < document->nodeCount; ++i) {
            const XmlNode& node = document->nodes[i];
            if (&node == root)
                walkNode(walk, node, path, 1);
            else
                checkString(walk, node.name);
        }
        if (root && strlen(root->name) < kPathChars - 1 && !strchr(root->name, '/')) {
            char rootPath[kPathChars];
            formatText(rootPath, sizeof rootPath, "/%s", root->name);
            const XmlNode* selected = nullptr;
            require(xmlSelectNode(rootPath, document, &selected) && selected == root);
        }

        // The queries behind the document.
        const char* query = static_cast<const char*>(memchr(bytes, 0, size));
        const char* inputEnd = bytes + size;
        while (query && query + 1 < inputEnd) {
            ++query;
            const char* next = static_cast<const char*>(memchr(query, 0, size_t(inputEnd - query)));
            size_t length = size_t((next ? next : inputEnd) - query);
            char text[kPathChars * 2] = {};
            memcpy(text, query, length < sizeof text - 1 ? length : sizeof text - 1);
            selectAndCheck(walk, text);
            query = next;
        }

        // The same load again, failing at some allocation: nothing may survive.
        const long blocks = xmlHeapLiveBlocks() - live;
        xmlHeapFailAfter(long(size % size_t(blocks + 1)));
        XmlDocument* again = xmlLoadDocument(bytes, size);
        xmlHeapFailAfter(-1);
        xmlDeleteDocument(again);
    }
    xmlDeleteDocument(document);
    require(xmlHeapLiveBlocks() == live);
    return 0;
}
