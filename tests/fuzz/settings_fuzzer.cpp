// Fuzz target of the settings-value lookup (resolveSetupValue) over an INI
// text held in memory. Input: two bytes of buffer size (little-endian, taken
// modulo 262 so that sizes above the 260 limit occur too), two bytes of
// language id, then NUL-separated section, key, default and the INI text
// (missing fields: INIT, TARGET, empty). Checks that the result fits the
// buffer and is terminated, that a result of 0 leaves the buffer untouched,
// that every read goes to the file and size given, and that the value is the
// one the profile reader yields, resolved at most once through the three
// string sections. A broken invariant aborts.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/text.h"
#include "platform/profile_text.h"
#include "setupdata/setup_value.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

uint64_t hashText(const char* text)
{
    uint64_t hash = 1469598103934665603ull;
    for (; *text; ++text)
        hash = (hash ^ uint8_t(*text)) * 1099511628211ull;
    return hash;
}

// What the lookup asked of the profile reader (the names as hashes: the
// lookup's own buffers are gone afterwards).
struct Read {
    uint64_t section;
    uint64_t key;
    const char* defaultText;
    uint32_t size;
    const char* file;
};

struct Record {
    Read reads[8];
    int count;
};

Record record;

uint32_t recordingReader(const char* section, const char* key, const char* defaultText, char* out,
                         uint32_t size, const char* file)
{
    require(section != nullptr && key != nullptr && out != nullptr);
    require(record.count < int(sizeof record.reads / sizeof record.reads[0]));
    Read& read = record.reads[record.count++];
    read.section = hashText(section);
    read.key = hashText(key);
    read.defaultText = defaultText;
    read.size = size;
    read.file = file;
    uint32_t length = readProfileText(section, key, defaultText, out, size, file);
    if (size > 0)
        require(length < size && out[length] == '\0' && strlen(out) == length);
    else
        require(length == 0);
    return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    size_t outSize = size_t(data[0] | (data[1] << 8)) % 262;
    SystemProfile profile = {};
    profile.language = uint16_t(data[2] | (data[3] << 8));
    profile.primaryLanguage = uint16_t(profile.language & 0x3FF);
    const SystemProfile profileBefore = profile;

    // The fields, each NUL-terminated, in a copy of the input with a final NUL.
    char* input = static_cast<char*>(malloc(size - 4 + 1));
    require(input != nullptr);
    memcpy(input, data + 4, size - 4);
    input[size - 4] = '\0';
    const char* cursor = input;
    const char* end = input + (size - 4);
    const char* section = field(cursor, end, "INIT");
    const char* key = field(cursor, end, "TARGET");
    const char* defaultText = field(cursor, end, "");
    const char* ini = cursor < end ? cursor : "";

    // The caller's buffer: exactly outSize bytes, filled with a pattern.
    char* out = static_cast<char*>(malloc(outSize ? outSize : 1));
    char* before = static_cast<char*>(malloc(outSize ? outSize : 1));
    require(out != nullptr && before != nullptr);
    for (size_t i = 0; i < outSize; ++i)
        out[i] = char(0xA5 ^ i);
    memcpy(before, out, outSize);

    record.count = 0;
    int result = resolveSetupValue(recordingReader, &profile, section, key, defaultText, out, outSize, ini);
    const size_t limit = outSize < size_t(kPathChars) ? outSize : size_t(kPathChars);

    // The buffer: untouched on 0, else the text, its terminator, and nothing beyond.
    require(result >= 0);
    if (result == 0) {
        require(memcmp(out, before, outSize) == 0);
    } else {
        require(size_t(result) < limit);
        require(out[result] == '\0' && strlen(out) == size_t(result));
        require(memcmp(out + result + 1, before + result + 1, outSize - size_t(result) - 1) == 0);
    }

    // The reads: the key itself, then at most the three string sections, all
    // with the caller's default, the clamped size and the same file.
    require(record.count >= 1 && record.count <= 4);
    for (int i = 0; i < record.count; ++i) {
        require(record.reads[i].defaultText == defaultText);
        require(record.reads[i].size == uint32_t(limit));
        require(record.reads[i].file == ini);
    }
    require(record.reads[0].section == hashText(section) && record.reads[0].key == hashText(key));

    char raw[kPathChars + 1] = "";
    uint32_t rawLength = readProfileText(section, key, defaultText, raw, uint32_t(limit), ini);
    bool reference = rawLength > 0 && raw[0] == '%' && raw[rawLength - 1] == '%';
    if (!reference) {
        // Not given, or given literally: one read, the value as the reader has it.
        require(record.count == 1);
        require(size_t(result) == rawLength);
        if (rawLength > 0)
            require(strcmp(out, raw) == 0);
    } else {
        char name[kPathChars] = "";
        if (rawLength >= 2)
            memcpy(name, raw + 1, rawLength - 2);
        char sections[3][16];
        formatText(sections[0], sizeof sections[0], "STRINGS.%04X", unsigned(profile.language));
        formatText(sections[1], sizeof sections[1], "STRINGS.%04X", unsigned(profile.primaryLanguage));
        copyText(sections[2], sizeof sections[2], "STRINGS");
        int expected = 0;
        char found[kPathChars + 1] = "";
        int reads = 1;
        for (const char* target : sections) {
            ++reads;
            require(record.count >= reads);
            require(record.reads[reads - 1].section == hashText(target));
            require(record.reads[reads - 1].key == hashText(name));
            uint32_t length = readProfileText(target, name, defaultText, found, uint32_t(limit), ini);
            if (length > 0) {
                expected = int(length);
                break;
            }
        }
        // The first section that yields something ends the lookup; its text is
        // used as found, even when it looks like a reference itself.
        require(record.count == reads);
        require(result == expected);
        if (expected > 0)
            require(strcmp(out, found) == 0);
    }
    require(memcmp(&profile, &profileBefore, sizeof profile) == 0);

    free(before);
    free(out);
    free(input);
    return 0;
}
