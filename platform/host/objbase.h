// COM, as far as the checker's layers name it (see windows.h beside this file).
#pragma once
#include "windows.h"

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef const GUID& REFCLSID;
typedef const GUID& REFIID;

struct IUnknown {
    virtual ~IUnknown() = default;
    virtual DWORD Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                         LPVOID* object);
