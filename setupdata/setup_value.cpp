#include "setupdata/setup_value.h"

#include "platform/text.h"

namespace {

const char kStringsSection[] = "STRINGS";

void report(const char* file, const char* section, const char* key, const char* value)
{
    if (setupValueSink)
        setupValueSink(file, section, key, value);
}

}  // namespace

void (*setupValueSink)(const char* file, const char* section, const char* key, const char* value);

int resolveSetupValue(ProfileReader readProfile, const SystemProfile* profile, const char* section,
                      const char* key, const char* defaultText, char* out, size_t size,
                      const char* file)
{
    if (size > kPathChars)
        size = kPathChars;
    char value[kPathChars] = "";
    uint32_t length = readProfile(section, key, defaultText, value, uint32_t(size), file);
    report(file, section, key, length ? value : nullptr);
    if (length == 0)
        return 0;
    if (value[0] != '%' || value[length - 1] != '%') {
        copyText(out, size, value);
        return int(length);
    }

    // A reference: the name between the two '%' (a lone "%" names the empty name).
    char name[kPathChars] = "";
    if (length >= 2) {
        value[length - 1] = '\0';
        copyText(name, sizeof name, value + 1);
    }
    char sections[3][16];
    formatText(sections[0], sizeof sections[0], "STRINGS.%04X", unsigned(profile->language));
    formatText(sections[1], sizeof sections[1], "STRINGS.%04X", unsigned(profile->primaryLanguage));
    copyText(sections[2], sizeof sections[2], kStringsSection);
    for (const char* target : sections) {
        char found[kPathChars] = "";
        uint32_t foundLength = readProfile(target, name, defaultText, found, uint32_t(size), file);
        if (foundLength > 0) {
            report(file, target, name, found);
            copyText(out, size, found);  // used as found: not resolved again
            return int(foundLength);
        }
    }
    report(file, nullptr, name, nullptr);
    return 0;
}
