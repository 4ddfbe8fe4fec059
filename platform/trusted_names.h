// The one place that decides whether a name may be trusted, and the ways to open,
// delete and move names that never act through a link. The program runs with an
// administrator's rights, in deployments as the system account, whose temporary folder
// every user may write: any name there, or in a folder that a standard user made, may
// be a junction, a symbolic link or a hard link put there to redirect the run.
//
// A link is recognised twice: by the attributes of its name (what Wine shows for a
// link) and by the attributes of a handle opened on the link itself (what Windows
// shows). Owners and link counts are read from such handles, never through a name.
#pragma once
#include <windows.h>
#include <accctrl.h>

#include "platform/guards.h"

// Calls `visit` with each entry that `pattern` ("<folder>\\*") finds; the search is
// closed before this returns, so that the folder can go afterwards.
template <typename Visit>
void forEachFound(const char* pattern, Visit visit)
{
    WIN32_FIND_DATAA found;
    HANDLE first = FindFirstFileA(pattern, &found);
    if (first == INVALID_HANDLE_VALUE)
        return;
    UniqueFind find(first);
    do {
        visit(found);
    } while (FindNextFileA(find.get(), &found));
}

// Whether `attributes` (of a name or of a handle) show a reparse point: a junction, a
// symbolic link, a mount point. INVALID_FILE_ATTRIBUTES shows none.
bool isLinkAttributes(DWORD attributes);

// The well-known groups and accounts that the owner checks and access lists name.
struct WellKnownSids {
    UniqueSid administrators;
    UniqueSid system;
    UniqueSid users;
    UniqueSid creatorOwner;
    UniqueSid installer;  // the TrustedInstaller service, owner of system folders from Vista on
    UniqueSid everyone;
};
bool wellKnownSids(WellKnownSids& sids);

// `name` of advapi32 as a function of type Function, or null: the security functions
// are not there on every system the program starts on.
FARPROC advapiProcedure(const char* name);
template <typename Function>
Function advapiFunction(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(advapiProcedure(name)));
}

// One entry of an access list made from scratch: `rights` for `trustee`, passed on to
// what a folder holds as `inheritance` says.
EXPLICIT_ACCESSA accessEntry(PSID trustee, DWORD rights, DWORD inheritance);

// The security of a new file or folder: exactly `entries` as its access list (`list`),
// nothing inherited from its parent. Not to be copied: `attributes` points into it. The
// security functions are looked up at run time: Windows 9x lacks them. 1 on success.
struct NewObjectSecurity {
    UniqueLocal list;
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};
int newObjectSecurity(EXPLICIT_ACCESSA* entries, ULONG count, NewObjectSecurity& out);

// The user of this process's token, into `buffer`; null when it cannot be read.
PSID processUser(BYTE* buffer, DWORD size);

// Opens the name `path` itself, never what a link there points to (NT family: with
// FILE_FLAG_OPEN_REPARSE_POINT; a folder needs FILE_FLAG_BACKUP_SEMANTICS in `flags`).
// `*isLink` tells whether the name or the handle shows a reparse point; the handle is
// open either way. INVALID_HANDLE_VALUE, with the last error, when it cannot be opened.
HANDLE openNameItself(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                      LPSECURITY_ATTRIBUTES security, bool* isLink);

// Whether the owner of the open `handle` is the administrators, the system, the
// system's installer service or the user running the setup, or there is none (a
// volume without owners, FAT). Always on Windows 9x. `*error` is set when the owner
// cannot be read (then 0).
int handleOwnerTrusted(HANDLE handle, DWORD* error);

// How many names the file of `handle` has (hard links); 0 when it cannot be read.
DWORD handleLinkCount(HANDLE handle);

// The path that a handle opened through `path` reaches (what a link there leads to),
// into `out`, in the form `path` has ("C:\..." or "\\server\share\..."); 0 where the
// system cannot tell (before Vista) or the path does not fit.
int reachedPath(const char* path, char* out);

// Checks `folder` (in its one spelling) and every existing level above it, up to the
// drive's root or the share, each opened on the name itself: a plain folder must have a
// trusted owner, and so must a link, by its own owner (a junction that an administrator
// made, a program folder moved to another drive, keeps working, as do the folders it
// leads to; one that a standard user made is refused, whatever it points to). A missing
// level passes: it is checked when it is made. Traces the cause of a refusal. 1 when
// all pass.
int folderTreeTrusted(const char* folder);

// Opens an existing file or folder `path` that the run will read, write, delete or
// keep: refused (INVALID_HANDLE_VALUE, the cause in `*refusal`) when it is a link, has
// more than one name, or has an owner that handleOwnerTrusted does not accept.
HANDLE openTrustedName(const char* path, DWORD access, DWORD share, DWORD flags, const char** refusal);

// Deletes the files directly in `folder`, which the caller has checked and holds open
// without sharing deletion (so that it can be neither renamed nor replaced): only
// entries that are no link go; folders inside stay.
void deleteFilesInHeldFolder(const char* folder);

// Deletes the file `path` when openTrustedName accepts it (no link, no other name, a
// trusted owner). 1 when it is gone (or was never there).
int deleteFileName(const char* path);

// Gives the file `from` the name `to`, replacing a file there: both must pass
// openTrustedName. 1 on success.
int moveFileName(const char* from, const char* to);

// Creates the new file `path` with an access list that lets only the administrators,
// the system and the user running the setup use it (nothing inherited; NT family; a
// plain new file on Windows 9x). Fails when anything of that name is there.
HANDLE createPrivateFile(const char* path, DWORD access, DWORD share);
