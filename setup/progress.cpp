#include "setup/progress.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "setupdata/dialog_dpi.h"
#include "setupdata/setup_data.h"

namespace {

const int kProgressSteps = 8;
const DWORD kPauseMilliseconds = 50;

// Lets the window paint between phases; the run has no message loop of its own.
void dispatchPendingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DPICHANGED)
        return followDpiChange(window, wParam, lParam);
    if (message == WM_DESTROY)
        forgetDpiChange(window);
    if (message != WM_INITDIALOG)
        return FALSE;
    char title[kPathChars] = "";
    LoadStringA(moduleInstance, IDS_INSTALL_TITLE, title, sizeof title);
    SetWindowTextA(window, title);
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressSteps));
    return TRUE;
}

HWND openProgressWindow()
{
    HWND window = CreateDialogParamA(moduleInstance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                     progressDialogProc, 0);
    if (window) {
        ShowWindow(window, SW_SHOW);
        dispatchPendingMessages();
    }
    return window;
}

void advanceProgress(HWND window, int position, bool pause)
{
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETPOS, WPARAM(position), 0);
    dispatchPendingMessages();
    if (pause)
        Sleep(kPauseMilliseconds);
}
