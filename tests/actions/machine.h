// Reading and preparing what the installation actions change on the machine.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

using Names = std::vector<std::string>;
using Operations = std::vector<std::pair<std::string, std::string>>;
extern const char kAbsent[];  // readFile and storedValue for nothing there

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool exists(const std::string& path);
void makeFolders(const std::string& path);  // with every parent
void removeTree(const std::string& path);
Names folderContents(const std::string& path);  // sorted
std::string moduleFolder();
std::string tempFolder();  // ends with a backslash
std::string windowsFolder();
std::string shortPathOf(const std::string& path);

// A registry value as stored: its type and raw bytes (text values with their null).
// `view` may name a registry view (KEY_WOW64_64KEY) other than this program's own.
using StoredValue = std::pair<DWORD, std::string>;
StoredValue storedValue(const std::string& key, const char* name, REGSAM view = 0);  // HKEY_LOCAL_MACHINE
StoredValue textValue(const std::string& text);
StoredValue numberValue(DWORD number);
bool keyExists(const std::string& key, REGSAM view = 0);
Names valueNames(const std::string& key);  // sorted; "" is the default value
void setValue(const std::string& key, const char* name, const StoredValue& value);
void removeValue(const std::string& key, const char* name);
void deleteTree(const std::string& key);

// The pending restart operations of the NT family as (path, new path), without the
// "\??\" prefixes; the new path is empty for a deletion.
Operations pendingOperations(REGSAM view = 0);
void clearPendingOperations();

// The lines of section "rename" of WININIT.INI in the Windows folder.
Names renameLines();

// A Unix symbolic link at `link` to the existing `target` inside the prefix, which Wine
// follows as Windows follows a junction or a symbolic link; a link to a folder shows
// FILE_ATTRIBUTE_REPARSE_POINT, one to a file does not. Wine has no call that makes
// one, so /bin/ln makes it. True when the link is there afterwards.
bool makeLink(const std::string& link, const std::string& target);
void removeLink(const std::string& link);  // the link itself, never its target

// Makes the existing file `path` one that nobody may change, rename or delete (`on`),
// or an ordinary file again: the Unix attribute "immutable" (chattr, as root), which
// Wine reports as access refused. True when the file behaves so afterwards.
bool setUnchangeable(const std::string& path, bool on);

// Drive D: on another file system than C: (a new folder under /dev/shm), as a second
// volume is to Windows; true when D:\ is there afterwards. removeSecondVolume takes
// the drive and its folder away again.
bool makeSecondVolume();
void removeSecondVolume();

// What Wine does not keep, through the seam: the owner that GetSecurityInfo reports,
// and the link count that GetFileInformationByHandle reports, for the file or folder
// that a handle names (under Wine, a link's target). Owners not listed are the
// administrators; counts not listed are the real ones. Install with fakeOwnersAndLinks.
enum class FakeOwner { administrators, otherUser, none, unreadable };
struct FakedName {
    std::string path;
    FakeOwner owner;
    DWORD links;  // 0: the real count
};
extern std::vector<FakedName> fakedNames;
extern Names ownerQueries;  // the path of each handle whose owner was asked for
void fakeOwnersAndLinks();  // points the seam at the stand-ins

// Another process that holds the existing file `path` open without sharing, as a
// running program holds its files, and shows neither the application's window nor its
// mutex: the sample application (beside the test program) with /lock, until the
// object goes.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool held() const { return held_; }

private:
    PROCESS_INFORMATION process_ = {};
    bool held_ = false;
};
