// Fuzz target of the keyed descriptor lookups (readDescriptorValue). Input: the
// document up to its first NUL, then NUL-separated key, release id and product
// id (missing: NAME, RELEASE, PKGMGR), then parameter bytes: buffer size (0:
// 260), language, system language, BIOS id and revision. Loads the document
// and reads the given key and every key of the table. Each result is compared
// with a second reading of the lookup rules below that counts the "gd"
// references it follows; checks that output is written only on success, fits
// the buffer and is terminated, that lookups change neither the tree, the
// profile nor the engine's heap, and that everything is freed. A broken
// invariant aborts; a lookup that never ends is reported as a timeout.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/text.h"
#include "setupdata/descriptor_values.h"
#include "xml/document.h"
#include "xml/heap.h"
#include "xml/item_data.h"
#include "xml/path_query.h"
#include "xml/text_convert.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// The lookup rules, written out once more as the oracle: key, element,
// condition attribute and value, attribute read instead of the text.
struct Row {
    const char* key;
    const char* element;
    const char* conditionName;
    const char* conditionValue;
    const char* attribute;
};

const Row kRows[] = {
    {"DEVICE", "device", nullptr, nullptr, nullptr},
    {"NAME", "title", nullptr, nullptr, nullptr},
    {"VERSION", "version", nullptr, nullptr, nullptr},
    {"SETUP", "setup", nullptr, nullptr, nullptr},
    {"UNINSTALL", "uninstall", nullptr, nullptr, nullptr},
    {"9X", "os", "id", "9X", nullptr},
    {"NT", "os", "id", "NT", nullptr},
    {"PARENTS", "dependency", "id", "ZEM", nullptr},
    {"IE", "dependency", "id", "IE", nullptr},
    {"DX", "dependency", "id", "DX", nullptr},
    {"PM", "dependency", "id", "PM", nullptr},
    {"HOTKEY", "dependency", "id", "HOTKEY", nullptr},
    {"SETUPFORM", "setup", nullptr, nullptr, "form"},
    {"REGVERSION", "uninstall", nullptr, nullptr, "reg"},
    {"SMI.SMAPI", "smiflag", "id", "SMAPI", nullptr},
    {"SMI.BLUETOOTH", "smiflag", "id", "BLUETOOTH", nullptr},
    {"SETUP.SILENT", "setup", "method", "SILENT", nullptr},
    {"SETUPFORM.SILENT", "setup", "method", "SILENT", "form"},
    {"SETUP.SUCCESS", "setup", nullptr, nullptr, "success"},
    {"SETUP.SILENT.SUCCESS", "setup", "method", "SILENT", "success"},
    {"SMBIOS.SW135", "smbiosflag", "id", "SW135", nullptr},
    {"LASTCRITICALUPDATE", "lastversion", "id", "CRITICAL", nullptr},
};

const int kEmptyResult = 7;

const Row* findRow(const char* key)
{
    for (const Row& row : kRows) {
        size_t i = 0;
        for (; row.key[i] && key[i]; ++i) {
            char a = row.key[i], b = key[i];
            if (b >= 'a' && b <= 'z')
                b = char(b - 'a' + 'A');
            if (a != b)
                break;
        }
        if (row.key[i] == '\0' && key[i] == '\0')
            return &row;
    }
    return nullptr;
}

const char* attributeValue(const XmlNode* node, const char* name)
{
    for (uint32_t i = 0; i < node->attributeCount; ++i) {
        if (strcmp(node->attributes[i].name, name) == 0)
            return node->attributes[i].value;
    }
    return nullptr;
}

struct Lookup {
    const char* productId;
    const XmlDocument* tree;
    const SystemProfile* profile;
    size_t size;
    int references;  // "gd" references followed so far
};

// The value of the element at `path` (a 260-byte buffer), by the rules: text
// when it has no children, else its one "gd" or CDATA child is followed.
int valueAt(Lookup& lookup, char* path, char* out)
{
    const XmlNode* node = nullptr;
    if (!xmlSelectNode(path, lookup.tree, &node))
        return 0;
    if (!node->children || node->children->count == 0)
        return node->text[0] ? convertUtf8ToAnsi(node->text, out, lookup.size) : kEmptyResult;
    if (node->children->count != 1)
        return 0;
    const XmlNode& child = node->children->items[0];
    if (strcmp(child.name, "![CDATA") == 0)
        return appendText(path, kPathChars, "/![CDATA") ? valueAt(lookup, path, out) : 0;
    if (strcmp(child.name, "gd") != 0)
        return 0;
    if (lookup.references == kMaxDescriptorReferences)
        return 0;  // one reference too many: the lookup gives up
    ++lookup.references;
    const XmlAttribute* reference = nullptr;
    for (uint32_t i = 0; i < child.attributeCount && !reference; ++i) {
        if (strcmp(child.attributes[i].name, "path") == 0 || strcmp(child.attributes[i].name, "zempath") == 0)
            reference = &child.attributes[i];
    }
    if (!reference)
        return 0;
    char next[kPathChars] = {};
    bool fits = reference->name[0] == 'p'
                    ? copyText(next, sizeof next, reference->value)
                    : formatText(next, sizeof next, "/build/zem[@id=%s]/%s", lookup.productId, reference->value);
    if (!fits || !xmlSelectItemData(next, sizeof next, child.text, lookup.tree, lookup.profile))
        return 0;
    return valueAt(lookup, next, out);
}

int expectedValue(const char* releaseId, const char* key, char* out, Lookup& lookup)
{
    const Row* row = findRow(key);
    if (!row)
        return 0;
    char path[kPathChars] = {};
    char condition[kPathChars] = "";
    if (row->conditionName)
        formatText(condition, sizeof condition, "[@%s=%s]", row->conditionName, row->conditionValue);
    if (!formatText(path, sizeof path, "/build/zem[@id=%s]/xrelease/release[@id=%s]/%s%s", lookup.productId,
                    releaseId, row->element, condition))
        return 0;
    if (row->attribute) {
        const XmlNode* node = nullptr;
        if (!xmlSelectNode(path, lookup.tree, &node))
            return 0;
        const char* value = attributeValue(node, row->attribute);
        return value ? convertUtf8ToAnsi(value, out, lookup.size) : 0;
    }
    return valueAt(lookup, path, out);
}

uint64_t hashBytes(const char* bytes, size_t length)
{
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ uint8_t(bytes[i])) * 1099511628211ull;
    return hash;
}

struct Query {
    const char* releaseId;
    const char* productId;
    size_t size;
    const XmlDocument* tree;
    const SystemProfile* profile;
};

void checkLookup(const Query& query, const char* key)
{
    char* out = static_cast<char*>(malloc(query.size));
    char* before = static_cast<char*>(malloc(query.size));
    char* expected = static_cast<char*>(malloc(query.size));
    require(out && before && expected);
    for (size_t i = 0; i < query.size; ++i)
        out[i] = char(0x5A ^ i);
    memcpy(before, out, query.size);
    memcpy(expected, out, query.size);

    const long live = xmlHeapLiveBlocks();
    int result = readDescriptorValue(query.releaseId, key, out, query.size, query.productId, query.tree,
                                     query.profile, kEmptyResult);
    require(xmlHeapLiveBlocks() == live);
    require(result == 0 || result == 1 || result == kEmptyResult);
    if (result == 1) {
        size_t length = boundedLength(out, query.size);
        require(length < query.size);
    } else {
        require(memcmp(out, before, query.size) == 0);
    }

    Lookup lookup = {query.productId, query.tree, query.profile, query.size, 0};
    int oracle = expectedValue(query.releaseId, key, expected, lookup);
    require(lookup.references <= kMaxDescriptorReferences);
    require(result == oracle);
    require(memcmp(out, expected, query.size) == 0);

    free(expected);
    free(before);
    free(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const long live = xmlHeapLiveBlocks();
    const char* bytes = reinterpret_cast<const char*>(data);
    XmlDocument* document = xmlLoadDocument(bytes, size);
    if (!document) {
        require(xmlHeapLiveBlocks() == live);
        return 0;
    }

    // The fields behind the document, from a copy that ends in a NUL.
    const char* nul = static_cast<const char*>(memchr(bytes, 0, size));
    size_t documentLength = nul ? size_t(nul - bytes) : size;
    size_t restLength = nul ? size - documentLength - 1 : 0;
    char* rest = static_cast<char*>(malloc(restLength + 1));
    require(rest != nullptr);
    if (restLength)
        memcpy(rest, nul + 1, restLength);
    rest[restLength] = '\0';
    const char* cursor = rest;
    const char* end = rest + restLength;
    const char* key = field(cursor, end, "NAME");
    const char* releaseId = field(cursor, end, "RELEASE");
    const char* productId = field(cursor, end, "PKGMGR");
    const uint8_t* parameters = reinterpret_cast<const uint8_t*>(cursor);
    size_t parameterCount = cursor < end ? size_t(end - cursor) : 0;
    auto parameter = [&](size_t i, uint8_t fallback) { return i < parameterCount ? parameters[i] : fallback; };

    SystemProfile profile = {};
    profile.language = uint16_t(parameter(1, 0x07) | (parameter(2, 0x04) << 8));
    profile.primaryLanguage = uint16_t(profile.language & 0x3FF);
    profile.osLanguage = uint16_t(parameter(3, 0x09) | (parameter(4, 0x04) << 8));
    profile.osPrimaryLanguage = uint16_t(profile.osLanguage & 0x3FF);
    profile.biosId = uint16_t((parameter(5, 'K') << 8) | parameter(6, 'T'));
    profile.biosRevision = parameter(7, 0x2B);
    copyText(profile.familyName, sizeof profile.familyName, "ThinkPad");
    copyText(profile.model, sizeof profile.model, "2373-G1U");
    copyText(profile.osVersion, sizeof profile.osVersion, "5.1.2600");
    const SystemProfile profileBefore = profile;
    size_t outSize = parameter(0, 0) ? parameter(0, 0) : size_t(kPathChars);

    const uint64_t treeHash = hashBytes(document->buffer, documentLength + 1);
    const long blocks = xmlHeapLiveBlocks();
    Query query = {releaseId, productId, outSize, document, &profile};
    checkLookup(query, key);
    for (const Row& row : kRows)
        checkLookup(query, row.key);
    require(hashBytes(document->buffer, documentLength + 1) == treeHash);
    require(memcmp(&profile, &profileBefore, sizeof profile) == 0);
    require(xmlHeapLiveBlocks() == blocks);

    xmlDeleteDocument(document);
    require(xmlHeapLiveBlocks() == live);
    free(rest);
    return 0;
}
