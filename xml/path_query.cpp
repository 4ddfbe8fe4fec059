#include "xml/path_query.h"

#include <string.h>

#include "platform/text.h"

namespace {

inline bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether the NUL-terminated `name` equals the `length` bytes at `text`.
bool equalsSpan(const char* name, const char* text, size_t length)
{
    return strncmp(name, text, length) == 0 && name[length] == '\0';
}

const char* findByte(const char* from, const char* end, char c)
{
    return static_cast<const char*>(memchr(from, c, size_t(end - from)));
}

bool hasAttribute(const XmlNode& node, const char* name, size_t nameLength, const char* value,
                  size_t valueLength)
{
    for (uint32_t i = 0; i < node.attributeCount; ++i) {
        const XmlAttribute& attribute = node.attributes[i];
        if (equalsSpan(attribute.name, name, nameLength) && equalsSpan(attribute.value, value, valueLength))
            return true;
    }
    return false;
}

// The first child of `node` matching the step [step, stepEnd), or null.
const XmlNode* selectChild(const XmlNode* node, const char* step, const char* stepEnd)
{
    if (!node->children || node->children->count == 0)
        return nullptr;
    const XmlNodeList& children = *node->children;
    const char* bracket = step[0] == '!' ? nullptr : findByte(step, stepEnd, '[');
    if (!bracket) {
        for (uint32_t i = 0; i < children.count; ++i) {
            if (equalsSpan(children.items[i].name, step, size_t(stepEnd - step)))
                return &children.items[i];
        }
        return nullptr;
    }

    // name[@attribute=value]: the value runs from the first '=' to the first
    // ']' behind it; anything after that ']' is ignored.
    if (bracket + 1 >= stepEnd || bracket[1] != '@')
        return nullptr;
    const char* attribute = bracket + 2;
    const char* equals = findByte(attribute, stepEnd, '=');
    if (!equals)
        return nullptr;
    const char* value = equals + 1;
    const char* close = findByte(value, stepEnd, ']');
    if (!close)
        return nullptr;
    for (uint32_t i = 0; i < children.count; ++i) {
        const XmlNode& child = children.items[i];
        if (equalsSpan(child.name, step, size_t(bracket - step)) &&
            hasAttribute(child, attribute, size_t(equals - attribute), value, size_t(close - value)))
            return &child;
    }
    return nullptr;
}

const char* stepEnd(const char* step)
{
    const char* slash = strchr(step, '/');
    return slash ? slash : step + strlen(step);
}

}  // namespace

const XmlNode* xmlFindRoot(const XmlDocument* document)
{
    if (!document || !document->nodes)
        return nullptr;
    for (uint32_t i = 0; i < document->nodeCount; ++i) {
        if (isLetter(document->nodes[i].name[0]))
            return &document->nodes[i];
    }
    return nullptr;
}

int xmlSelectNode(const char* path, const XmlDocument* document, const XmlNode** result)
{
    if (!path || !result || path[0] != '/' || boundedLength(path, kPathChars) >= kPathChars)
        return 0;
    const XmlNode* node = xmlFindRoot(document);
    if (!node)
        return 0;
    const char* step = path + 1;
    const char* end = stepEnd(step);
    if (!equalsSpan(node->name, step, size_t(end - step)))
        return 0;
    while (*end == '/') {
        step = end + 1;
        end = stepEnd(step);
        if (end == step)
            break;  // an empty step ends the path
        node = selectChild(node, step, end);
        if (!node)
            return 0;
    }
    *result = node;
    return 1;
}
