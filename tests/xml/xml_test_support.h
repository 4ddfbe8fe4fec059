// Helpers shared by the descriptor engine's tests.
#pragma once
#include <string.h>

#include <memory>
#include <string>

#include "xml/document.h"

// Loads `text` from an exactly sized heap copy, so that a read past its end
// is caught by the address sanitizer.
inline XmlDocument* loadText(const std::string& text)
{
    std::unique_ptr<char[]> bytes(new char[text.size() ? text.size() : 1]);
    memcpy(bytes.get(), text.data(), text.size());
    return xmlLoadDocument(bytes.get(), text.size());
}

struct DocumentDeleter {
    void operator()(XmlDocument* document) const { xmlDeleteDocument(document); }
};
using DocumentPtr = std::unique_ptr<XmlDocument, DocumentDeleter>;
