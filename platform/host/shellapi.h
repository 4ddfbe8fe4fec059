// Shell file operations, as far as the checker's layers name them (see windows.h here).
#pragma once
#include "windows.h"

typedef struct _SHFILEOPSTRUCTA* LPSHFILEOPSTRUCTA;
int SHFileOperationA(LPSHFILEOPSTRUCTA operation);
