// The descriptor tree: a small in-place XML parser and the read-only tree it
// builds. Names, texts and attribute values are NUL-terminated strings inside
// the document's private copy of the input; the tree copies no strings.
//
// Accepted: an "<?xml " prolog within the first 7 bytes, elements with
// double-quoted attributes, character data, CDATA sections, comments, and
// processing instructions or declarations at the top level. The five
// predefined entities are decoded (not in CDATA text); any other syntax makes
// the whole load fail. Text stays UTF-8; convertUtf8ToAnsi reads it out.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Deepest nesting a document may have: a node inside kXmlMaxDepth enclosing
// elements fails the load. Real descriptors nest fewer than ten levels; the
// bound keeps a crafted file from exhausting the stack.
enum { kXmlMaxDepth = 256 };

struct XmlAttribute {
    char* name;
    char* value;  // entity-decoded
};

struct XmlNodeList;

struct XmlNode {
    char* name;  // element name; "![CDATA"; '?' or '!' and keyword at the top level
    char* text;  // character data before the first child, leading blanks dropped; never null
    XmlAttribute* attributes;  // null when attributeCount is 0
    uint32_t attributeCount;
    XmlNodeList* children;  // null when the node has no kept children
};

// A node's children in document order.
struct XmlNodeList {
    XmlNode* items;
    uint32_t count;
};

struct XmlDocument {
    XmlNode* nodes;  // the kept top-level items, comments left out
    uint32_t nodeCount;
    char* buffer;  // the input bytes and a NUL; every string of the tree lies here
};

// Parses `length` bytes of a descriptor (not modified; a NUL byte ends it).
// Returns a new document, or null on any syntax error or allocation failure,
// having released all it took.
XmlDocument* xmlLoadDocument(const char* bytes, size_t length);

// The same load; when it fails, `*failedAt` (if given) is the byte offset of the
// construct being read when it failed (a tag, an attribute, an end tag, an element
// whose text runs to the end), or 0 when the prolog is missing. What is accepted, returned and
// allocated is the same as above.
XmlDocument* xmlLoadDocumentAt(const char* bytes, size_t length, size_t* failedAt);

// Releases the tree and the buffer and leaves the record empty. Returns 0, doing
// nothing, when the document holds no buffer (already released).
int xmlFreeDocument(XmlDocument* document);

// Detaches one node's attributes and children: clears `attributes`,
// `attributeCount` and `children`; `name` and `text` stay. The buffer and all
// arrays of a tree live in a few blocks owned by its document, which
// xmlFreeDocument releases together.
void xmlFreeNode(XmlNode* node);

// Releases the tree, if any is left, and the record itself.
void xmlDeleteDocument(XmlDocument* document);
