#include "setupdata/setup_data.h"

#include "platform/guards.h"
#include "platform/paths.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "setupdata/run_flags.h"
#include "xml/text_convert.h"

HINSTANCE moduleInstance;
SystemProfile systemProfile;
HMODULE unicowsModule;
char settingsFilePath[kPathChars];
char releaseFilePath[kPathChars];
XmlDocument* descriptorTree;
int descriptorMode;
size_t descriptorFailedAt;

namespace {

const char kSettingsFile[] = "ZemSetup.dat";
const char kReleaseFile[] = "PkgMgr.zem";
const char kDescriptorFile[] = "QUVOZEM.xml";
// Room kept behind the descriptor's bytes: the text always ends in zero bytes.
const DWORD kSlack = 260;
const DWORD kReadChunk = 64 * 1024;

// Reads the whole descriptor and parses it into `descriptorTree`.
int loadDescriptor(const char* path)
{
    UniqueHandle file;
    HANDLE opened = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE,
                                nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        traceCall("CreateFileA", GetLastError(), path);
        return 0;
    }
    file.reset(opened);

    // The block grows geometrically, so that a large descriptor costs linear time,
    // and always keeps at least kSlack zero bytes behind the data.
    DWORD capacity = kSlack + kSlack;
    DWORD count = 0;
    size_t failedAt = 0;
    UniqueLocal block(LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, capacity));
    if (!block)
        return 0;
    for (;;) {
        if (capacity - count < kReadChunk + kSlack) {
            DWORD grown = capacity + (capacity > kReadChunk ? capacity : kReadChunk) + kSlack;
            if (grown < capacity)
                return 0;  // the file is larger than this process can hold
            HLOCAL moved = LocalReAlloc(block.get(), grown, LMEM_MOVEABLE | LMEM_ZEROINIT);
            if (moved == nullptr)
                return 0;
            block.release();
            block.reset(moved);
            capacity = grown;
        }
        char* data = static_cast<char*>(LocalLock(block.get()));
        if (data == nullptr)
            return 0;
        DWORD read = 0;
        BOOL ok = TRACED(ReadFile, (file.get(), data + count, kReadChunk, &read, nullptr), path);
        if (ok && read == 0) {
            descriptorTree = xmlLoadDocumentAt(data, count, &failedAt);
            LocalUnlock(block.get());
            break;
        }
        LocalUnlock(block.get());
        if (!ok)
            return 0;
        count += read;
    }
    if (descriptorTree == nullptr) {
        descriptorFailedAt = failedAt;
        char where[kPathChars + 32];
        formatText(where, sizeof where, "%s, at byte %u", path, unsigned(failedAt));
        traceCause("the descriptor is not well-formed or too deep", where);
    }
    descriptorMode = descriptorTree != nullptr;
    return descriptorTree != nullptr;
}

}  // namespace

namespace {

// String `id` of the English (United States) table, converted to the system's code page.
// Returns 1 when the table holds it and it fits `out`.
int loadEnglishText(unsigned id, char* out, int capacity)
{
    HRSRC found = FindResourceExA(moduleInstance, reinterpret_cast<LPCSTR>(RT_STRING),
                                  MAKEINTRESOURCEA(id / 16 + 1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL loaded = found ? LoadResource(moduleInstance, found) : nullptr;
    const WCHAR* block = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (block == nullptr)
        return 0;
    // A block holds 16 texts, each its length and its characters, without terminator.
    const WCHAR* end = block + SizeofResource(moduleInstance, found) / sizeof(WCHAR);
    for (unsigned skipped = 0; skipped < id % 16 && block < end; ++skipped)
        block += 1 + *block;
    if (block >= end || *block == 0 || *block > end - block - 1)
        return 0;
    int length = WideCharToMultiByte(CP_ACP, 0, block + 1, *block, out, capacity - 1, nullptr, nullptr);
    out[length > 0 ? length : 0] = '\0';
    return length > 0;
}

}  // namespace

void loadSetupText(unsigned id, char* out, int capacity)
{
    out[0] = '\0';
    if (LoadStringA(moduleInstance, id, out, capacity) > 0)
        return;
    // A text that the run's language lacks comes in English.
    loadEnglishText(id, out, capacity);
}

int isUsableReleaseFile(const char* path)
{
    char value[kPathChars] = "";
    return GetPrivateProfileStringA("ZEM", "XRELEASE", "", value, sizeof value, path) > 0;
}

int readSetupFolder(char* out)
{
    char path[kPathChars] = "";
    DWORD length = platform.GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    char* separator = lastSeparator(path);
    if (separator == nullptr)
        return 0;
    *separator = '\0';
    return copyText(out, kPathChars, path);
}

namespace {

// A setup data file that the run needs and does not find.
int traceMissing(const char* folder, const char* name)
{
    char path[kPathChars];
    formatText(path, sizeof path, "%s\\%s", folder, name);
    traceCause("setup data file not found", path);
    return 0;
}

}  // namespace

int locateSetupData(HINSTANCE instance, uint32_t runFlags)
{
    moduleInstance = instance;
    systemProfile.language = GetSystemDefaultLangID();
    systemProfile.primaryLanguage = systemProfile.language & 0x3FF;
    if (!(runFlags & kRunInstall))
        return 1;  // a removal works from the registry records of the installed copy

    if (systemVersion().dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        // The text conversion of the descriptor needs the Unicode layer there.
        unicowsModule = TRACED(LoadLibraryA, ("unicows.dll"), "unicows.dll");
        if (unicowsModule == nullptr)
            return 0;
    }

    char folder[kPathChars] = "";
    if (!readSetupFolder(folder)) {
        traceCause("the folder of setup.exe does not fit a path", "");
        return 0;
    }
    if (!fileInFolder(folder, kSettingsFile, settingsFilePath))
        return traceMissing(folder, kSettingsFile);
    if (fileInFolder(folder, kReleaseFile, releaseFilePath) && isUsableReleaseFile(releaseFilePath))
        return 1;
    if (releaseFilePath[0])
        traceCause("the release file names no release ([ZEM] XRELEASE)", releaseFilePath);
    if (!fileInFolder(folder, kDescriptorFile, releaseFilePath))
        return traceMissing(folder, kDescriptorFile);
    return loadDescriptor(releaseFilePath);
}

void releaseSetupData()
{
    if (descriptorTree) {
        xmlDeleteDocument(descriptorTree);
        descriptorTree = nullptr;
    }
    if (unicowsModule) {
        forgetConversionFunctions();  // they point into the module
        FreeLibrary(unicowsModule);
        unicowsModule = nullptr;
    }
}
