// The path language that selects one node of a descriptor tree:
//   /root/step/step...   where a step is a name, or name[@attribute=value]
// The first step must name the root element. A step that begins with '!' is a
// plain name (so "/a/b/![CDATA" reaches a CDATA section). An empty step ends
// the path. At every step the first matching child in document order is
// taken and the walk never backtracks. Comparisons are byte-exact.
#pragma once
#include "xml/document.h"

// The first top-level node whose name begins with a letter, or null.
const XmlNode* xmlFindRoot(const XmlDocument* document);

// Selects the node at `path` (at most 259 bytes, else nothing is selected).
// Returns 1 and sets *result, or returns 0 and leaves *result alone.
int xmlSelectNode(const char* path, const XmlDocument* document, const XmlNode** result);
