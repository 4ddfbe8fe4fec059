// Stand-in for the package-manager application of the sample package.
//
//   PkgMgr.exe                          notes its start in %TEMP%\PkgMgr-started.txt
//                                       and exits
//   PkgMgr.exe /hold NAME [/for MS] [/note FILE]
//                                       holds a mutex and a top-level window, both
//                                       named NAME, until the window is closed or
//                                       MS milliseconds have passed; makes FILE once
//                                       both are there
//   PkgMgr.exe /lock FILE [/for MS] [/note NOTE]
//                                       holds FILE open without sharing, with
//                                       neither mutex nor window (an application
//                                       that setup cannot see), for MS milliseconds
//                                       or until ended; makes NOTE once it holds it
//
// Setup recognises the running application by exactly these two names.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kWindowClass[] = "PkgMgrSampleWindow";

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const char* name = nullptr;
    const char* note = nullptr;
    const char* locked = nullptr;
    UINT holdMilliseconds = 0;
    for (int i = 1; i + 1 < __argc; ++i) {
        if (strcmp(__argv[i], "/hold") == 0)
            name = __argv[++i];
        else if (strcmp(__argv[i], "/lock") == 0)
            locked = __argv[++i];
        else if (strcmp(__argv[i], "/for") == 0)
            holdMilliseconds = UINT(strtoul(__argv[++i], nullptr, 10));
        else if (strcmp(__argv[i], "/note") == 0)
            note = __argv[++i];
    }
    if (locked != nullptr) {
        HANDLE file = CreateFileA(locked, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        if (note) {
            HANDLE made = CreateFileA(note, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (made != INVALID_HANDLE_VALUE)
                CloseHandle(made);
        }
        Sleep(holdMilliseconds ? holdMilliseconds : INFINITE);
        CloseHandle(file);
        return 0;
    }
    if (name == nullptr) {
        // Lets a test see that the setup opened the application.
        const char started[] = "PkgMgr-started.txt";
        char path[MAX_PATH];
        DWORD length = GetTempPathA(MAX_PATH, path);
        if (length > 0 && length + sizeof started <= MAX_PATH) {
            memcpy(path + length, started, sizeof started);
            HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
        return 0;
    }

    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);  // owned until this process ends
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, kWindowClass, name, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 320, 120, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    if (holdMilliseconds)
        SetTimer(window, 1, holdMilliseconds, nullptr);
    if (note) {
        HANDLE file = CreateFileA(note, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return 0;
}
