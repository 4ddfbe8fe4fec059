// The terminal-services session records, as far as the seam names them (see windows.h
// beside this file).
#pragma once
#include "windows.h"

typedef void* PVOID;
typedef enum { WTSActive, WTSConnected, WTSConnectQuery, WTSShadow, WTSDisconnected, WTSIdle, WTSListen } WTS_CONNECTSTATE_CLASS;
typedef struct {
    DWORD SessionId;
    LPSTR pWinStationName;
    WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOA, *PWTS_SESSION_INFOA;
