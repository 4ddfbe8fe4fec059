#include "setupdata/descriptor_values.h"

#include <string.h>

#include "platform/text.h"
#include "xml/path_query.h"
#include "xml/text_convert.h"

namespace {

struct DescriptorKey {
    const char* key;
    const char* element;
    const char* conditionName;   // null: no condition
    const char* conditionValue;
    const char* attribute;       // null: the element's text is the value
};

const DescriptorKey kKeys[] = {
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

char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool sameKey(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (asciiUpper(*a) != asciiUpper(*b))
            return false;
    }
    return *a == *b;
}

const DescriptorKey* findKey(const char* key)
{
    for (const DescriptorKey& row : kKeys) {
        if (sameKey(row.key, key))
            return &row;
    }
    return nullptr;
}

const XmlAttribute* findAttribute(const XmlNode* node, const char* name)
{
    for (uint32_t i = 0; i < node->attributeCount; ++i) {
        if (strcmp(node->attributes[i].name, name) == 0)
            return &node->attributes[i];
    }
    return nullptr;
}

// The first "path" or "zempath" attribute of a "gd" element, in attribute order.
const XmlAttribute* findReference(const XmlNode* gd)
{
    for (uint32_t i = 0; i < gd->attributeCount; ++i) {
        const char* name = gd->attributes[i].name;
        if (strcmp(name, "path") == 0 || strcmp(name, "zempath") == 0)
            return &gd->attributes[i];
    }
    return nullptr;
}

}  // namespace

void (*descriptorNodeSink)(const XmlDocument* tree, const XmlNode* node, const char* key);

int readDescriptorValue(const char* releaseId, const char* key, char* out, size_t size,
                        const char* productId, const XmlDocument* tree,
                        const SystemProfile* profile, int emptyResult)
{
    const DescriptorKey* row = findKey(key);
    if (row == nullptr)
        return 0;

    // Every path must fit the buffer whole; a cut path could select another element.
    char path[kPathChars] = {};
    if (!formatText(path, sizeof path, "/build/zem[@id=%s]/xrelease/release[@id=%s]/%s", productId,
                    releaseId, row->element))
        return 0;
    if (row->conditionName) {
        char condition[kPathChars];
        if (!formatText(condition, sizeof condition, "[@%s=%s]", row->conditionName,
                        row->conditionValue) ||
            !appendText(path, sizeof path, condition))
            return 0;
    }

    const XmlNode* node = nullptr;
    if (!xmlSelectNode(path, tree, &node))
        return 0;
    if (descriptorNodeSink)
        descriptorNodeSink(tree, node, key);
    if (row->attribute) {
        const XmlAttribute* attribute = findAttribute(node, row->attribute);
        return attribute ? convertUtf8ToAnsi(attribute->value, out, size) : 0;
    }

    for (int references = 0;;) {
        if (node->children == nullptr || node->children->count == 0) {
            if (node->text[0] == '\0')
                return emptyResult;
            return convertUtf8ToAnsi(node->text, out, size);
        }
        if (node->children->count > 1)
            return 0;
        const XmlNode* child = &node->children->items[0];
        if (strcmp(child->name, "gd") == 0) {
            if (++references > kMaxDescriptorReferences)
                return 0;
            const XmlAttribute* reference = findReference(child);
            if (reference == nullptr)
                return 0;
            memset(path, 0, sizeof path);
            int fits = strcmp(reference->name, "path") == 0
                           ? copyText(path, sizeof path, reference->value)
                           : formatText(path, sizeof path, "/build/zem[@id=%s]/%s", productId,
                                        reference->value);
            if (!fits || !xmlSelectItemData(path, sizeof path, child->text, tree, profile))
                return 0;
        } else if (strcmp(child->name, "![CDATA") == 0) {
            if (!appendText(path, sizeof path, "/![CDATA"))
                return 0;
        } else {
            return 0;
        }
        if (!xmlSelectNode(path, tree, &node))
            return 0;
        if (descriptorNodeSink)
            descriptorNodeSink(tree, node, key);
    }
}
