// The access-control types, as far as the checker's layers name them (see windows.h
// beside this file).
#pragma once
#include "windows.h"

typedef enum { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1 } SE_OBJECT_TYPE;
typedef DWORD SECURITY_INFORMATION;
typedef struct _ACL* PACL;
typedef void* PSECURITY_DESCRIPTOR;
