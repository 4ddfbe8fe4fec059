#include "actions/files.h"

#include <aclapi.h>

#include "platform/guards.h"
#include "platform/seam.h"
#include "platform/system.h"

namespace {

using SetEntriesInAclFunction = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);
using InitializeSecurityDescriptorFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
using SetSecurityDescriptorDaclFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
using SetSecurityDescriptorControlFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR,
                                                           SECURITY_DESCRIPTOR_CONTROL,
                                                           SECURITY_DESCRIPTOR_CONTROL);
using SetNamedSecurityInfoFunction = DWORD(WINAPI*)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                                                    PSID, PSID, PACL, PACL);
using GetNamedSecurityInfoFunction = DWORD(WINAPI*)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                                    PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);

// The security functions are not there on every system the program starts on.
template <typename Function>
Function advapiFunction(const char* name)
{
    return procedureOf<Function>(GetModuleHandleA("advapi32.dll"), name);
}

}  // namespace

int secureStagedFile(const char* path)
{
    auto setEntriesInAcl = advapiFunction<SetEntriesInAclFunction>("SetEntriesInAclA");
    auto setNamedSecurityInfo = advapiFunction<SetNamedSecurityInfoFunction>("SetNamedSecurityInfoA");
    if (setEntriesInAcl == nullptr || setNamedSecurityInfo == nullptr)
        return 0;

    SID_IDENTIFIER_AUTHORITY worldAuthority = {SECURITY_WORLD_SID_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    UniqueSid everyone;
    UniqueSid administrators;
    if (!AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  everyone.put()) ||
        !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  administrators.put()))
        return 0;

    EXPLICIT_ACCESSA entries[2];
    ZeroMemory(entries, sizeof entries);
    entries[0].grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].grfInheritance = NO_INHERITANCE;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[0].Trustee.ptstrName = static_cast<LPSTR>(everyone.get());
    entries[1].grfAccessPermissions = GENERIC_ALL;
    entries[1].grfAccessMode = SET_ACCESS;
    entries[1].grfInheritance = NO_INHERITANCE;
    entries[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entries[1].Trustee.ptstrName = static_cast<LPSTR>(administrators.get());

    PACL list = nullptr;
    if (setEntriesInAcl(2, entries, nullptr, &list) != ERROR_SUCCESS)
        return 0;
    UniqueLocal listOwner(list);
    return setNamedSecurityInfo(const_cast<LPSTR>(path), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION,
                                 administrators.get(), administrators.get(), list,
                                 nullptr) == ERROR_SUCCESS;
}

int createProtectedFolder(const char* path, int usersRead)
{
    if (!isNtFamily())
        return platform.CreateDirectoryA(path, nullptr) != 0;  // Windows 9x has no access control

    auto setEntriesInAcl = advapiFunction<SetEntriesInAclFunction>("SetEntriesInAclA");
    auto initialize = advapiFunction<InitializeSecurityDescriptorFunction>("InitializeSecurityDescriptor");
    auto setDacl = advapiFunction<SetSecurityDescriptorDaclFunction>("SetSecurityDescriptorDacl");
    // Windows 2000 on merges the parent's inheritable entries unless the list is protected;
    // NT 4.0 inherits nothing into a given list and has no such control.
    auto setControl = advapiFunction<SetSecurityDescriptorControlFunction>("SetSecurityDescriptorControl");
    if (!setEntriesInAcl || !initialize || !setDacl)
        return 0;

    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    UniqueSid administrators;
    UniqueSid system;
    UniqueSid users;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, administrators.put()) ||
        !AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                  system.put()) ||
        (usersRead && !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                                DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, users.put())))
        return 0;
    EXPLICIT_ACCESSA entries[3];
    ZeroMemory(entries, sizeof entries);
    PSID trustees[3] = {administrators.get(), system.get(), users.get()};
    ULONG count = usersRead ? 3 : 2;
    for (ULONG i = 0; i < count; ++i) {
        entries[i].grfAccessPermissions = i < 2 ? GENERIC_ALL : GENERIC_READ | GENERIC_EXECUTE;
        entries[i].grfAccessMode = SET_ACCESS;
        entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.TrusteeType = i == 1 ? TRUSTEE_IS_USER : TRUSTEE_IS_GROUP;
        entries[i].Trustee.ptstrName = static_cast<LPSTR>(trustees[i]);
    }
    PACL list = nullptr;
    if (setEntriesInAcl(count, entries, nullptr, &list) != ERROR_SUCCESS)
        return 0;
    UniqueLocal listOwner(list);

    SECURITY_DESCRIPTOR descriptor;
    if (!initialize(&descriptor, SECURITY_DESCRIPTOR_REVISION) || !setDacl(&descriptor, TRUE, list, FALSE))
        return 0;
    if (setControl && !setControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return 0;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return platform.CreateDirectoryA(path, &attributes) != 0;
}

int createPrivateFolder(const char* path)
{
    return createProtectedFolder(path, 0);
}

int ownedByAdministrators(const char* path)
{
    auto getNamedSecurityInfo = advapiFunction<GetNamedSecurityInfoFunction>("GetNamedSecurityInfoA");
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!getNamedSecurityInfo ||
        getNamedSecurityInfo(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                             nullptr, &descriptor) != ERROR_SUCCESS)
        return 0;
    UniqueLocal descriptorOwner(descriptor);
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    UniqueSid administrators;
    UniqueSid system;
    if (owner == nullptr ||
        !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, administrators.put()) ||
        !AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, system.put()))
        return 0;
    if (EqualSid(owner, administrators.get()) || EqualSid(owner, system.get()))
        return 1;
    // Where the system makes the creating user the owner, this run's own user made it.
    UniqueHandle token;
    if (!platform.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return 0;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } self;
    DWORD size = 0;
    return platform.GetTokenInformation(token.get(), TokenUser, &self, sizeof self, &size) &&
           EqualSid(owner, self.user.User.Sid);
}
