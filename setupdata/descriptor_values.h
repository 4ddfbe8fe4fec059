// Keyed values of the XML descriptor: "NAME", "VERSION" and twenty more.
#pragma once
#include <stddef.h>

#include "xml/document.h"
#include "xml/item_data.h"

// Reads the value named by `key` (letter case ignored) from release `releaseId` of
// product `productId` into `out` (`size` bytes, system code page), following "gd"
// references and CDATA sections. Returns 1 when a value was converted, 0 when there
// is none or it does not fit, and `emptyResult` when the element's text is empty
// (then `out` is untouched).
int readDescriptorValue(const char* releaseId, const char* key, char* out, size_t size,
                        const char* productId, const XmlDocument* tree,
                        const SystemProfile* profile, int emptyResult);

// Told of each element that a lookup of `key` reaches, the last one being where the
// value was found or where the lookup failed; for the release-folder checker, null in
// setup.exe.
extern void (*descriptorNodeSink)(const XmlDocument* tree, const XmlNode* node, const char* key);

// How many "gd" references one lookup follows before it gives up: a descriptor
// whose references lead in a circle must not hold the setup forever.
enum { kMaxDescriptorReferences = 32 };
