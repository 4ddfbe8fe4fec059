// The hooks of setup.exe's layers that tell the checker what was read and why a step
// failed, and the places (file, line, column) of the values they name.
#include <windows.h>
#include <string.h>

#include "platform/profile_text.h"
#include "platform/trace.h"
#include "platform/whole_file.h"
#include "setupcheck/report.h"
#include "setupdata/descriptor_values.h"
#include "setupdata/setup_data.h"
#include "setupdata/setup_value.h"
#include "xml/document.h"

namespace {

// Line and column (from 1) of byte `offset` of `path` (the descriptor, read as it is).
void placeOffset(const char* path, size_t offset, Source* where)
{
    const WholeFile* file = wholeFile(path);
    const char* text = file && file->bytes ? file->bytes : "";
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < offset && text[i]; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    copyText(where->file, sizeof where->file, path);
    where->line = line;
    where->column = int(offset - lineStart) + 1;
}

// A reference resolved from a less specific strings section although this language
// has a section of its own: probably a text left untranslated there.
void checkFallback(const char* file, const char* section, const char* name)
{
    char own[2][16];
    formatText(own[0], sizeof own[0], "STRINGS.%04X", unsigned(systemProfile.language));
    formatText(own[1], sizeof own[1], "STRINGS.%04X", unsigned(systemProfile.primaryLanguage));
    for (const char* more : own) {
        if (strcmp(more, section) == 0)
            return;
        if (profileBytesLine(fileText(file), fileLength(file), more, nullptr) > 0) {
            char message[kMessageChars];
            formatText(message, sizeof message, "%%%s%% is taken from [%s]: [%s] has no %s", name, section,
                       more, name);
            warnAt(message, current->sourceCount > 0 ? &current->sources[current->sourceCount - 1] : nullptr);
            return;
        }
    }
}

void noteSetupValue(const char* file, const char* section, const char* key, const char* value)
{
    if (section == nullptr)
        return;  // an unresolved reference: the key's own place stays
    if (strncmp(section, "STRINGS", 7) == 0 && current->sourceCount > 0) {
        Source* source = &current->sources[current->sourceCount - 1];
        copyText(source->text, sizeof source->text, value);
        source->line = profileBytesLine(fileText(file), fileLength(file), section, key);
        checkFallback(file, section, key);
        return;
    }
    char label[96];
    formatText(label, sizeof label, "[%s] %s", section, key);
    Source* source = newSource(label);
    copyText(source->text, sizeof source->text, value ? value : "");
    copyText(source->file, sizeof source->file, file);
    source->line = profileBytesLine(fileText(file), fileLength(file), section, value ? key : nullptr);
}

void noteDescriptorNode(const XmlDocument* tree, const XmlNode* node, const char* key)
{
    Source* source = sourceLabelled(key);
    if (source == nullptr)
        source = newSource(key);
    // Names lie in the document's copy of the file at their own offsets; the tag's "<" precedes.
    size_t offset = size_t(node->name - tree->buffer);
    placeOffset(releaseFilePath, offset ? offset - 1 : 0, source);
    copyText(source->text, sizeof source->text, node->text);
}

// A cause that setup.exe would write to the debugger output: an error, placed where
// the value it names came from.
void noteCause(const char* line)
{
    const Source* where = sourceNamedIn(line);
    Source descriptor;
    if (strstr(line, "descriptor is not well-formed")) {
        memset(&descriptor, 0, sizeof descriptor);
        placeOffset(releaseFilePath, descriptorFailedAt, &descriptor);
        where = &descriptor;
    }
    addError(line, where);
}

}  // namespace

const char* fileText(const char* path)
{
    return profileTextOf(wholeFile(path));
}

size_t fileLength(const char* path)
{
    return profileLengthOf(wholeFile(path));
}

void collectFindings()
{
    traceSink = noteCause;
    setupValueSink = noteSetupValue;
    descriptorNodeSink = noteDescriptorNode;
}
