// Drives the setup's windows from outside, as a user would, for the demo and tests.
//
//   dialog-driver.exe wait TITLE [CONTROL_ID] [TIMEOUT_MS]
//       waits for a top-level window titled TITLE (holding control CONTROL_ID when
//       given, 0 for any) and prints its frame as "x y width height"
//   dialog-driver.exe click TITLE CONTROL_ID
//       presses a button of that window
// Exits 0 on success, 1 when no such window appeared.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Search {
    const char* title;
    int control;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    char title[260] = "";
    GetWindowTextA(window, title, sizeof title);
    if (IsWindowVisible(window) && strcmp(title, search->title) == 0 &&
        (search->control == 0 || GetDlgItem(window, search->control) != nullptr)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND waitForWindow(const char* title, int control, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        Search search = {title, control, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start > timeout)
            return search.found;
        Sleep(10);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    int control = argc > 3 ? atoi(argv[3]) : 0;
    if (strcmp(argv[1], "wait") == 0) {
        DWORD timeout = argc > 4 ? DWORD(atoi(argv[4])) : 20000;
        HWND window = waitForWindow(argv[2], control, timeout);
        if (!window)
            return 1;
        RECT frame;
        GetWindowRect(window, &frame);
        printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top);
        return 0;
    }
    if (strcmp(argv[1], "click") == 0 && control != 0) {
        HWND window = waitForWindow(argv[2], control, 20000);
        if (!window)
            return 1;
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, control)));
        return 0;
    }
    return 2;
}
