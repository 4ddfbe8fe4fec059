// Shell folders, as far as the checker's layers name them (see windows.h here).
#pragma once
#include "objbase.h"

#define CSIDL_PROGRAMS 0x0002
#define CSIDL_STARTMENU 0x000B
#define CSIDL_DESKTOP 0x0010
#define CSIDL_DRIVES 0x0011
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
