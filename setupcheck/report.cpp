#include "setupcheck/report.h"

#include <string.h>

Report* current;

Source* newSource(const char* label)
{
    if (current->sourceCount == kMaxSources)
        --current->sourceCount;  // the latest counts most: it replaces the last one kept
    Source* source = &current->sources[current->sourceCount++];
    memset(source, 0, sizeof *source);
    copyText(source->label, sizeof source->label, label);
    return source;
}

Source* sourceLabelled(const char* label)
{
    for (int i = current->sourceCount - 1; i >= 0; --i) {
        if (strcmp(current->sources[i].label, label) == 0)
            return &current->sources[i];
    }
    return nullptr;
}

const Source* sourceNamedIn(const char* text)
{
    const Source* best = nullptr;
    size_t bestLength = 0;
    for (int i = current->sourceCount - 1; i >= 0; --i) {
        const Source& source = current->sources[i];
        if (strstr(text, source.label))
            return &source;
        size_t length = strlen(source.text);
        if (length > 2 && length > bestLength && strstr(text, source.text)) {
            best = &source;
            bestLength = length;
        }
    }
    return best;
}

namespace {

void addFinding(bool error, const char* message, const Source* where)
{
    if (current->findingCount == kMaxFindings)
        return;
    Finding& finding = current->findings[current->findingCount++];
    memset(&finding, 0, sizeof finding);
    finding.error = error;
    finding.result = error ? current->step : 0;
    copyText(finding.message, sizeof finding.message, message);
    if (where)
        finding.where = *where;
}

}  // namespace

void addError(const char* message, const Source* where)
{
    addFinding(true, message, where);
}

void fail(int code)
{
    if (current->result == 0)
        current->result = code;
}

void warnAt(const char* message, const Source* where)
{
    for (int i = 0; i < current->findingCount; ++i) {
        if (strcmp(current->findings[i].message, message) == 0)
            return;  // the same key is read more than once
    }
    addFinding(false, message, where);
}

void warn(const char* message, const char* sourceLabel)
{
    warnAt(message, sourceLabel ? sourceLabelled(sourceLabel) : nullptr);
}

void addRecord(const char* key, const char* name, const char* value)
{
    if (current->recordCount == kMaxRecords)
        return;
    Record& record = current->records[current->recordCount++];
    copyText(record.key, sizeof record.key, key);
    record.name = name;
    copyText(record.value, sizeof record.value, value);
}

int warningCount(const Report& report)
{
    int count = 0;
    for (int i = 0; i < report.findingCount; ++i)
        count += !report.findings[i].error;
    return count;
}
