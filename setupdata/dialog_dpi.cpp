#include "setupdata/dialog_dpi.h"

#include "platform/system.h"

namespace {

// The DPI that the dialog's layout has, once it has changed, and the font made for it.
const char kDpiProperty[] = "PkgMgr.Dpi";
const char kFontProperty[] = "PkgMgr.Font";

using WindowContextFunction = HANDLE(WINAPI*)(HWND);
using SameContextsFunction = BOOL(WINAPI*)(HANDLE, HANDLE);
const HANDLE kPerMonitorV2 = reinterpret_cast<HANDLE>(-4);  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2

struct Scaling {
    int from;
    int to;
    HFONT font;
};

// Both functions are in user32 from Windows 10 1607 on; version 2 from 1703 on.
bool scaledByDialogManager(HWND dialog)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    auto contextOf = procedureOf<WindowContextFunction>(user, "GetWindowDpiAwarenessContext");
    auto same = procedureOf<SameContextsFunction>(user, "AreDpiAwarenessContextsEqual");
    return contextOf && same && same(contextOf(dialog), kPerMonitorV2);
}

// A dialog is made at the system's DPI, which is the screen's, until it first changes.
int layoutDpi(HWND dialog)
{
    if (HANDLE stored = GetPropA(dialog, kDpiProperty))
        return int(reinterpret_cast<INT_PTR>(stored));
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi;
}

BOOL CALLBACK scaleControl(HWND control, LPARAM parameter)
{
    const auto& scaling = *reinterpret_cast<const Scaling*>(parameter);
    RECT frame = {};
    GetWindowRect(control, &frame);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&frame), 2);
    auto scaled = [&](LONG value) { return MulDiv(value, scaling.to, scaling.from); };
    MoveWindow(control, scaled(frame.left), scaled(frame.top), scaled(frame.right) - scaled(frame.left),
               scaled(frame.bottom) - scaled(frame.top), FALSE);
    if (scaling.font)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(scaling.font), FALSE);
    return TRUE;
}

}  // namespace

int followDpiChange(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    if (scaledByDialogManager(dialog))
        return 0;
    Scaling scaling = {layoutDpi(dialog), HIWORD(wParam), nullptr};
    if (scaling.from > 0 && scaling.to > 0 && scaling.to != scaling.from) {
        // The font of the last change, or else the one the dialog manager made.
        auto made = static_cast<HFONT>(GetPropA(dialog, kFontProperty));
        HFONT current = made ? made : reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        LOGFONTA shape;
        if (current && GetObjectA(current, sizeof shape, &shape)) {
            shape.lfHeight = MulDiv(shape.lfHeight, scaling.to, scaling.from);
            scaling.font = CreateFontIndirectA(&shape);
        }
        EnumChildWindows(dialog, scaleControl, reinterpret_cast<LPARAM>(&scaling));
        if (scaling.font) {
            SetPropA(dialog, kFontProperty, scaling.font);
            if (made)
                DeleteObject(made);
        }
        SetPropA(dialog, kDpiProperty, reinterpret_cast<HANDLE>(INT_PTR(scaling.to)));
    }
    const RECT& frame = *reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(dialog, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog, nullptr, TRUE);
    return 1;
}

void forgetDpiChange(HWND dialog)
{
    if (HANDLE font = RemovePropA(dialog, kFontProperty))
        DeleteObject(font);
    RemovePropA(dialog, kDpiProperty);
}
