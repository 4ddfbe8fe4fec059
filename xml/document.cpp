#include "xml/document.h"

#include <string.h>

#include "xml/heap.h"

namespace {

// Byte classes of the scanners. Each scan also stops at NUL, which marks the
// end of the input (the buffer holds one there, and every NUL the parser
// writes lies behind the scanning position).
enum : unsigned char {
    kSpace = 1,       // 0x09 to 0x0D and blank
    kNameStop = 2,    // ends an element name: space, '>', '/' (when "/>"), NUL
    kTextStop = 4,    // '<', '&', NUL
    kKeyStop = 8,     // ends an attribute name: space, '=', NUL
    kValueStop = 16,  // '"', '&', NUL
    kTagEnd = 32,     // '>'
};

struct ByteClasses {
    unsigned char of[256];
    constexpr ByteClasses() : of()
    {
        for (int c = 0x09; c <= 0x0D; ++c)
            of[c] = kSpace | kNameStop | kKeyStop;
        of[' '] = kSpace | kNameStop | kKeyStop;
        of['>'] = kNameStop | kTagEnd;
        of['/'] = kNameStop;
        of['<'] = kTextStop;
        of['&'] = kTextStop | kValueStop;
        of['='] = kKeyStop;
        of['"'] = kValueStop;
        of[0] = kNameStop | kTextStop | kKeyStop | kValueStop;
    }
};
constexpr ByteClasses kClasses;

inline bool is(char c, unsigned char classes)
{
    return (kClasses.of[static_cast<unsigned char>(c)] & classes) != 0;
}

// The first byte at or after p in one of `classes`; unrolled, as most runs
// are longer than a byte or two. Every class holds NUL, so the scan ends.
inline char* scanTo(char* p, unsigned char classes)
{
    for (;; p += 4) {
        if (is(p[0], classes))
            return p;
        if (is(p[1], classes))
            return p + 1;
        if (is(p[2], classes))
            return p + 2;
        if (is(p[3], classes))
            return p + 3;
    }
}

inline char* skipSpace(char* p)
{
    for (;; p += 4) {
        if (!is(p[0], kSpace))
            return p;
        if (!is(p[1], kSpace))
            return p + 1;
        if (!is(p[2], kSpace))
            return p + 2;
        if (!is(p[3], kSpace))
            return p + 3;
    }
}

// A block of the document's memory. The first one holds the buffer; the
// attribute arrays and node lists of the tree are carved from the others, so
// that a load costs one allocation per 32 KiB of tree, not one per array.
struct Page {
    Page* next;
    size_t size;  // bytes behind the header
    size_t used;
};

const size_t kAlignment = alignof(XmlNode) > alignof(Page) ? alignof(XmlNode) : alignof(Page);
// Small enough that the heap recycles pages between loads instead of asking
// the system for fresh memory each time; the page header and the heap's own
// bookkeeping fit in the 64 bytes below 32 KiB.
const size_t kPageSize = 32 * 1024 - 64;

constexpr size_t aligned(size_t bytes)
{
    return (bytes + kAlignment - 1) / kAlignment * kAlignment;
}

const size_t kPageHeader = aligned(sizeof(Page));
const size_t kListHeader = aligned(sizeof(XmlNodeList));

inline char* pageData(Page* page)
{
    return reinterpret_cast<char*>(page) + kPageHeader;
}

Page* newPage(size_t size)
{
    if (size > ((size_t)-1) - kPageHeader)
        return nullptr;
    Page* page = static_cast<Page*>(xmlHeapAlloc(kPageHeader + size));
    if (page)
        page->size = size;
    return page;
}

// What xmlLoadDocument hands out: the public record and the pages behind it.
struct LoadedDocument {
    XmlDocument document;
    Page* pages;  // newest first; the last one holds the buffer
};

LoadedDocument* loaded(XmlDocument* document)
{
    return reinterpret_cast<LoadedDocument*>(document);
}

// Starts a page for a request that does not fit the current one. A request
// larger than a page gets a page of its own behind the current one, which
// keeps serving the small requests.
Page* addPage(LoadedDocument& owner, size_t bytes)
{
    const bool large = bytes > kPageSize;
    Page* fresh = newPage(large ? bytes : kPageSize);
    if (!fresh)
        return nullptr;
    if (large) {
        fresh->next = owner.pages->next;
        owner.pages->next = fresh;
    } else {
        fresh->next = owner.pages;
        owner.pages = fresh;
    }
    return fresh;
}

// Zero-filled memory for `bytes` bytes of the tree, or null.
inline void* take(LoadedDocument& owner, size_t bytes)
{
    if (bytes > ((size_t)-1) - kAlignment)
        return nullptr;
    bytes = aligned(bytes);
    Page* page = owner.pages;
    if (page->size - page->used < bytes) {
        page = addPage(owner, bytes);
        if (!page)
            return nullptr;
    }
    void* block = pageData(page) + page->used;
    page->used += bytes;
    return block;
}

// A growable array of records for the parse's scratch stacks; it doubles, so
// that its growth costs amortised constant time per record.
template <typename Record>
struct Stack {
    Record* items;
    size_t count;
    size_t capacity;

    bool push(const Record& record)
    {
        if (count == capacity) {
            size_t grown = capacity ? capacity * 2 : 64;
            if (grown > ((size_t)-1) / sizeof(Record))
                return false;
            void* block = xmlHeapGrow(items, capacity * sizeof(Record), grown * sizeof(Record));
            if (!block)
                return false;
            items = static_cast<Record*>(block);
            capacity = grown;
        }
        items[count++] = record;
        return true;
    }

    // Moves the records above `base` into an exactly sized array of the tree.
    Record* moveAbove(size_t base, LoadedDocument& owner, size_t header)
    {
        char* block = static_cast<char*>(take(owner, header + (count - base) * sizeof(Record)));
        Record* moved = nullptr;
        if (block) {
            moved = reinterpret_cast<Record*>(block + header);
            memcpy(moved, items + base, (count - base) * sizeof(Record));
        }
        count = base;
        return moved;
    }
};

// The parse state of one load.
struct Parser {
    char* end;  // the first NUL of the buffer
    LoadedDocument* owner;
    // The kept nodes of every open element, innermost last: an element's
    // children gather here until its end tag.
    Stack<XmlNode> nodes;
    Stack<XmlAttribute> attributes;  // the attributes of the current tag
    char* at;  // the construct being read: where a failed load failed
};

bool startsWith(const char* p, const char* literal)
{
    while (*literal && *p == *literal) {
        ++p;
        ++literal;
    }
    return *literal == '\0';
}

char* findByte(char* from, char* end, char c)
{
    return from < end ? static_cast<char*>(memchr(from, c, size_t(end - from))) : nullptr;
}

// The first '<' at or after p, or null at the end of the input.
inline char* nextTag(char* p)
{
    while (*p != '<') {
        if (*p == '\0')
            return nullptr;
        ++p;
    }
    return p;
}

char* findSequence(char* from, char* end, const char* literal)
{
    for (char* p = findByte(from, end, literal[0]); p; p = findByte(p + 1, end, literal[0])) {
        if (startsWith(p, literal))
            return p;
    }
    return nullptr;
}

// Length of the entity at `p` (0 when none) and the character it stands for.
// Compares byte by byte, so it stops at the string's end.
inline size_t matchEntity(const char* p, char* character)
{
    switch (p[1]) {
    case 'l':
    case 'g':
        if (p[2] == 't' && p[3] == ';') {
            *character = p[1] == 'l' ? '<' : '>';
            return 4;
        }
        return 0;
    case 'a':
        if (p[2] == 'm' && p[3] == 'p' && p[4] == ';') {
            *character = '&';
            return 5;
        }
        if (p[2] == 'p' && p[3] == 'o' && p[4] == 's' && p[5] == ';') {
            *character = '\'';
            return 6;
        }
        return 0;
    case 'q':
        if (p[2] == 'u' && p[3] == 'o' && p[4] == 't' && p[5] == ';') {
            *character = '"';
            return 6;
        }
        return 0;
    default:
        return 0;
    }
}

// Decodes the five entities in [text, end) in one left-to-right pass with a
// read and a write cursor; what an entity produces is never read again, so
// "&amp;lt;" gives "&lt;". Terminates the string when it got shorter. The
// byte at `end` must be one that no entity contains ('<' or NUL).
void decodeEntities(char* text, char* end)
{
    char* read = text;
    while (read < end && *read != '&')
        ++read;
    char* write = read;
    while (read < end) {
        char character = *read;
        size_t length = character == '&' ? matchEntity(read, &character) : 0;
        *write++ = character;
        read += length ? length : 1;
    }
    if (write != end)
        *write = '\0';
}

// Parses the attributes of one tag from `text`. Names run to a blank or '=';
// '=' must be followed by a double quote, and the value runs to the next one.
// A bare name followed by more text gets the empty value; one that ends the
// tag is dropped. An element's tag ends at its first '>', even one inside a
// quoted value; a declaration's attribute text ends at a NUL. Returns the
// position of that end, or null.
template <bool kElementTag>
char* parseAttributes(Parser& parser, char* text, XmlNode* node)
{
    const unsigned char tagEnd = kElementTag ? kTagEnd : 0;
    const size_t base = parser.attributes.count;
    char* p = text;
    char* stop;
    for (;;) {
        parser.at = p;
        stop = scanTo(p, kKeyStop | tagEnd);
        if (*stop == '\0' || *stop == '>')
            break;
        XmlAttribute attribute;
        attribute.name = p;
        if (*stop == '=') {
            if (stop[1] != '"')
                return nullptr;
            char* value = stop + 2;
            char* close = value;
            bool entities = false;
            for (;; ++close) {
                close = scanTo(close, kValueStop | tagEnd);
                if (*close != '&')
                    break;
                entities = true;
            }
            if (*close != '"')
                return nullptr;
            *stop = '\0';
            *close = '\0';
            if (entities)
                decodeEntities(value, close);
            attribute.value = value;
            p = close + 1;
        } else {
            *stop = '\0';
            attribute.value = stop;
            p = stop + 1;
        }
        if (!parser.attributes.push(attribute))
            return nullptr;
        p = skipSpace(p);
    }
    if (kElementTag && *stop != '>')
        return nullptr;
    const size_t count = parser.attributes.count - base;
    if (count > 0) {
        if (count > UINT32_MAX)
            return nullptr;
        node->attributes = parser.attributes.moveAbove(base, *parser.owner, 0);
        node->attributeCount = uint32_t(count);
        if (!node->attributes)
            return nullptr;
    }
    return stop;
}

char* parseNode(Parser& parser, char* p, size_t slot, const char* terminator, unsigned depth);

// A top-level "<!...>" or "<?...?>" item other than CDATA and comments.
char* parseDeclaration(Parser& parser, char* p, XmlNode* node, const char* terminator)
{
    char* stop = p;
    while (!is(*stop, kSpace) && !startsWith(stop, terminator)) {
        if (stop == parser.end)
            return nullptr;
        ++stop;
    }
    char* close = stop;
    if (is(*stop, kSpace)) {
        close = findSequence(stop + 1, parser.end, terminator);
        if (!close)
            return nullptr;
        *stop = '\0';
        *close = '\0';
        if (!parseAttributes<false>(parser, skipSpace(stop + 1), node))
            return nullptr;
    }
    *close = '\0';
    node->text = close;
    return findByte(close + strlen(terminator), parser.end, '<');
}

// Parses one child (or top-level item) into a new slot on the node stack;
// a comment's slot is given back.
char* parseChild(Parser& parser, char* p, const char* terminator, unsigned depth)
{
    if (!parser.nodes.push(XmlNode()))
        return nullptr;
    const size_t slot = parser.nodes.count - 1;
    char* next = parseNode(parser, p, slot, terminator, depth);
    if (next && parser.nodes.items[slot].name[0] == '\0')
        parser.nodes.count = slot;
    return next;
}

// An element whose name starts at p. Its node lies in `slot` of the node
// stack, which its children may move.
char* parseElement(Parser& parser, char* p, size_t slot, unsigned depth)
{
    XmlNode* node = &parser.nodes.items[slot];
    char* stop = p;
    for (;; ++stop) {
        stop = scanTo(stop, kNameStop);
        if (*stop != '/' || stop[1] == '>')
            break;
    }
    if (*stop == '\0')
        return nullptr;
    const size_t nameLength = size_t(stop - p);
    char* content;
    if (*stop == '/') {
        *stop = '\0';
        node->text = stop;
        return nextTag(stop + 2);
    }
    if (*stop == '>') {
        *stop = '\0';
        content = stop + 1;
    } else {
        *stop = '\0';
        char* close = parseAttributes<true>(parser, skipSpace(stop + 1), node);
        if (!close)
            return nullptr;
        if (close[-1] == '/') {  // "/>": an empty element
            close[-1] = '\0';
            node->text = close - 1;
            return nextTag(close + 1);
        }
        *close = '\0';
        content = close + 1;
    }

    // The text: leading whitespace dropped, up to the first child or end tag.
    char* text = skipSpace(content);
    char* next = text;
    bool entities = false;
    for (;; ++next) {
        next = scanTo(next, kTextStop);
        if (*next != '&')
            break;
        entities = true;
    }
    if (*next != '<') {
        parser.at = p - 1;  // the element that is never closed
        return nullptr;
    }
    node->text = text;
    if (entities && !(p[0] == '!' && strcmp(p, "![CDATA") == 0))
        decodeEntities(text, next);

    const size_t base = parser.nodes.count;
    while (next[1] != '/') {
        *next = '\0';
        char* after = parseChild(parser, next + 1, nullptr, depth + 1);
        if (!after)
            return nullptr;
        // Text after a child's end tag (mixed content) is skipped.
        next = nextTag(after);
        if (!next)
            return nullptr;
    }

    // The end tag: "</", exactly the name, '>'.
    parser.at = next;
    *next = '\0';
    char* endName = next + 2;
    if (endName + nameLength >= parser.end || endName[nameLength] != '>')
        return nullptr;
    for (size_t i = 0; i < nameLength; ++i) {
        if (endName[i] != p[i])
            return nullptr;
    }

    const size_t count = parser.nodes.count - base;
    if (count > 0) {
        if (count > UINT32_MAX)
            return nullptr;
        // The list record and its items share one block.
        XmlNode* items = parser.nodes.moveAbove(base, *parser.owner, kListHeader);
        if (!items)
            return nullptr;
        XmlNodeList* list = reinterpret_cast<XmlNodeList*>(reinterpret_cast<char*>(items) - kListHeader);
        list->items = items;
        list->count = uint32_t(count);
        parser.nodes.items[slot].children = list;
    }
    return skipSpace(endName + nameLength + 1);
}

// Parses one markup item; p points just after its '<'. Returns the position
// at which the caller goes on, or null. A comment gets the empty name.
char* parseNode(Parser& parser, char* p, size_t slot, const char* terminator, unsigned depth)
{
    parser.at = p - 1;
    if (depth > kXmlMaxDepth)
        return nullptr;
    XmlNode* node = &parser.nodes.items[slot];
    node->name = p;
    if (p[0] == '!') {
        if (startsWith(p, "![CDATA[")) {
            p[7] = '\0';
            char* text = p + 8;
            char* close = findSequence(text, parser.end, "]]>");
            if (!close)
                return nullptr;
            *close = '\0';
            node->text = text;
            return findByte(close + 3, parser.end, '<');
        }
        if (startsWith(p, "!--")) {
            char* close = findSequence(p, parser.end, "-->");  // so "<!-->" is a whole comment
            if (!close)
                return nullptr;
            p[-1] = '\0';
            node->name = p - 1;
            node->text = p - 1;
            return findByte(close + 3, parser.end, '<');
        }
    }
    if (terminator)
        return parseDeclaration(parser, p, node, terminator);
    return parseElement(parser, p, slot, depth);
}

// The load proper, into a document that already holds the buffer.
bool parseDocument(Parser& parser)
{
    XmlDocument& document = parser.owner->document;
    char* p = findByte(document.buffer, parser.end, '<');
    while (p && p < parser.end && *p == '<') {
        const char* terminator = p[1] == '!' ? ">" : p[1] == '?' ? "?>" : nullptr;
        p = parseChild(parser, p + 1, terminator, 1);
        if (!p)
            return false;
    }
    const size_t count = parser.nodes.count;
    if (count == 0 || count > UINT32_MAX)
        return false;
    document.nodes = parser.nodes.moveAbove(0, *parser.owner, 0);
    document.nodeCount = uint32_t(count);
    return document.nodes != nullptr;
}

}  // namespace

XmlDocument* xmlLoadDocument(const char* bytes, size_t length)
{
    return xmlLoadDocumentAt(bytes, length, nullptr);
}

XmlDocument* xmlLoadDocumentAt(const char* bytes, size_t length, size_t* failedAt)
{
    if (failedAt)
        *failedAt = 0;
    if (!bytes || length >= ((size_t)-1) / 4)
        return nullptr;
    LoadedDocument* owner = static_cast<LoadedDocument*>(xmlHeapAlloc(sizeof(LoadedDocument)));
    if (!owner)
        return nullptr;
    XmlDocument* document = &owner->document;

    // The prolog must begin within the first 7 bytes (a byte-order mark or
    // blanks may come before it).
    char head[16] = {};
    for (size_t i = 0; i < 12 && i < length && bytes[i] != '\0'; ++i)
        head[i] = bytes[i];
    const char* prolog = strchr(head, '<');
    if (!prolog || strncmp(prolog, "<?xml ", 6) != 0) {
        xmlHeapFree(owner);
        return nullptr;
    }

    // The first page holds the buffer; the tree goes on pages small enough
    // for the heap to reuse them from one load to the next.
    const size_t bufferBytes = aligned(length + 1);
    owner->pages = newPage(bufferBytes);
    if (!owner->pages) {
        xmlHeapFree(owner);
        return nullptr;
    }
    owner->pages->used = bufferBytes;
    document->buffer = pageData(owner->pages);
    memcpy(document->buffer, bytes, length);

    // A NUL byte in the input ends it, as it ends every string search.
    const char* firstNul = static_cast<const char*>(memchr(bytes, '\0', length));
    Parser parser = {};
    parser.end = document->buffer + (firstNul ? size_t(firstNul - bytes) : length);
    parser.owner = owner;

    const bool parsed = parseDocument(parser);
    xmlHeapFree(parser.nodes.items);
    xmlHeapFree(parser.attributes.items);
    if (!parsed && failedAt)
        *failedAt = parser.at ? size_t(parser.at - document->buffer) : size_t(parser.end - document->buffer);
    if (!parsed) {
        xmlDeleteDocument(document);
        return nullptr;
    }
    return document;
}

int xmlFreeDocument(XmlDocument* document)
{
    if (!document || !document->buffer)
        return 0;
    LoadedDocument* owner = loaded(document);
    while (owner->pages) {
        Page* next = owner->pages->next;
        xmlHeapFree(owner->pages);
        owner->pages = next;
    }
    document->nodes = nullptr;
    document->nodeCount = 0;
    document->buffer = nullptr;
    return 1;
}

void xmlFreeNode(XmlNode* node)
{
    node->attributes = nullptr;
    node->attributeCount = 0;
    node->children = nullptr;
}

void xmlDeleteDocument(XmlDocument* document)
{
    if (!document)
        return;
    xmlFreeDocument(document);
    xmlHeapFree(loaded(document));
}
