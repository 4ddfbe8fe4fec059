#include "xml/item_data.h"

#include <string.h>

#include "platform/text.h"
#include "xml/path_query.h"

namespace {

// Up to three candidate ids of one method, each within the method's room
// (terminator included). A candidate that would not fit is kept as unusable
// rather than cut, so that a truncated id never selects a wrong item.
struct Candidates {
    size_t room;
    int count;
    char text[3][128];
    bool usable[3];
};

char* addCandidate(Candidates& list, const char* text)
{
    int i = list.count++;
    list.usable[i] = copyText(list.text[i], list.room, text) != 0;
    return list.text[i];
}

// A fixed-size profile field, which need not be terminated.
char* addField(Candidates& list, const char* field, size_t fieldSize)
{
    if (boundedLength(field, fieldSize) < fieldSize)
        return addCandidate(list, field);
    int i = list.count++;
    list.usable[i] = false;
    return list.text[i];
}

// The field cut at its last `separator` (whole when there is none).
void addFieldPrefix(Candidates& list, const char* field, size_t fieldSize, char separator)
{
    char* text = addField(list, field, fieldSize);
    char* cut = strrchr(text, separator);
    if (cut)
        *cut = '\0';
}

void addLanguage(Candidates& list, uint16_t language)
{
    char text[8];
    formatText(text, sizeof text, "%04X", unsigned(language));
    addCandidate(list, text);
}

// "%c%c.%02X" and "%c%c": a zero character ends the text where it stands.
void addBios(Candidates& list, uint16_t biosId, uint8_t revision, bool withRevision)
{
    char text[8] = {};
    text[0] = char(biosId >> 8);
    text[1] = text[0] ? char(biosId & 0xFF) : '\0';
    if (withRevision && text[1])
        formatText(text + 2, sizeof text - 2, ".%02X", unsigned(revision));
    addCandidate(list, text);
}

bool buildCandidates(Candidates& list, const char* method, const char* fallback, const SystemProfile& profile)
{
    if (strcmp(method, "LANGUAGE") == 0) {
        list.room = 10;
        addLanguage(list, profile.language);
        addLanguage(list, profile.primaryLanguage);
    } else if (strcmp(method, "BIOSID") == 0) {
        list.room = 6;
        addBios(list, profile.biosId, profile.biosRevision, true);
        addBios(list, profile.biosId, profile.biosRevision, false);
    } else if (strcmp(method, "OS") == 0) {
        list.room = 12;
        addField(list, profile.osVersion, sizeof profile.osVersion);
        addFieldPrefix(list, profile.osVersion, sizeof profile.osVersion, '.');
    } else if (strcmp(method, "MTM") == 0) {
        list.room = 12;
        addField(list, profile.model, sizeof profile.model);
        addFieldPrefix(list, profile.model, sizeof profile.model, '-');
    } else if (strcmp(method, "FAMILYNAME") == 0) {
        list.room = 128;
        addField(list, profile.familyName, sizeof profile.familyName);
    } else if (strcmp(method, "LANGUAGE.OS") == 0) {
        list.room = 10;
        addLanguage(list, profile.osLanguage);
        addLanguage(list, profile.osPrimaryLanguage);
    } else {
        return false;
    }
    addCandidate(list, fallback);
    return true;
}

const char* findAttribute(const XmlNode& node, const char* name)
{
    for (uint32_t i = 0; i < node.attributeCount; ++i) {
        if (strcmp(node.attributes[i].name, name) == 0)
            return node.attributes[i].value;
    }
    return nullptr;
}

}  // namespace

int xmlSelectItemData(char* path, size_t capacity, const char* dataId, const XmlDocument* document,
                      const SystemProfile* profile)
{
    if (!path || !profile || boundedLength(path, capacity) >= capacity)
        return 0;
    const XmlNode* selector;
    if (!xmlSelectNode(path, document, &selector))
        return 0;
    if (!selector->children || selector->children->count == 0)
        return 0;
    const char* fallback = findAttribute(*selector, "default");
    const char* method = findAttribute(*selector, "method");
    if (!fallback || !method)
        return 0;
    Candidates candidates = {};
    if (!buildCandidates(candidates, method, fallback, *profile))
        return 0;

    // No path longer than the evaluator's 260 bytes can select anything, so a
    // larger capacity needs no larger work area.
    const size_t limit = capacity < size_t(kPathChars) ? capacity : size_t(kPathChars);
    for (int i = 0; i < candidates.count; ++i) {
        if (!candidates.usable[i])
            continue;
        char work[kPathChars] = {};
        const char* id = candidates.text[i];
        int fits = dataId && dataId[0] ? formatText(work, limit, "%s/item[@id=%s]/data[@id=%s]", path, id, dataId)
                                       : formatText(work, limit, "%s/item[@id=%s]/data", path, id);
        const XmlNode* data;
        if (fits && xmlSelectNode(work, document, &data)) {
            memset(path, 0, capacity);
            copyText(path, capacity, work);
            return 1;
        }
    }
    return 0;
}
