// Item/data selection: picks the variant of a descriptor value that suits this
// machine. A selector element carries "method" and "default" attributes and
// holds <item id="..."> elements with <data> elements inside:
//   <name method="LANGUAGE" default="0409">
//     <item id="0407"><data>Deutsch</data></item>
//     <item id="0409"><data>English</data></item>
//   </name>
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "xml/document.h"

// The machine values by which a variant is chosen. This program fills only
// the two language fields; the others stay zero or empty.
struct SystemProfile {
    uint16_t biosId;  // two characters: the high byte is the first
    uint8_t biosRevision;
    uint16_t primaryLanguage;    // language & 0x3FF
    uint16_t osPrimaryLanguage;  // osLanguage & 0x3FF
    uint16_t language;           // the setup language id
    uint16_t osLanguage;         // the system's language id
    char familyName[128];
    char model[12];
    char osVersion[12];
};

// `path` holds the path of a selector element in a buffer of `capacity` bytes.
// Tries the selector method's candidate ids in order, the default last, and on
// the first candidate whose "item[@id=candidate]/data" (with "[@id=dataId]"
// when dataId is not empty) exists, overwrites `path` with that data
// element's path and returns 1. Returns 0, leaving `path` alone, otherwise.
// Methods: LANGUAGE, LANGUAGE.OS, BIOSID, OS, MTM, FAMILYNAME. A candidate id
// longer than the method allows (9, 5, 11 or 127 bytes) is skipped, as is a
// candidate path that does not fit into `capacity`.
int xmlSelectItemData(char* path, size_t capacity, const char* dataId, const XmlDocument* document,
                      const SystemProfile* profile);
