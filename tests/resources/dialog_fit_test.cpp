// Every text of the options dialog fits its control, in every language, at the display
// scalings that users have (100 %, 125 %, 150 %, 200 %), and no control leaves the
// dialog or covers another one.
//
// The test sets the prefix's "LogPixels" and starts itself once per scaling: Wine draws
// a DPI-aware program at that DPI from its start, as Windows draws setup.exe (whose
// manifest this program shares through the resources). So the dialogs are made by the
// dialog manager itself, with the font it picks at that DPI, and each text is measured
// with its control's own font, as the control draws it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "setupdata/dialog_dpi.h"

namespace {

const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kLogPixels[] = L"LogPixels";
const LPCWSTR kDialogType = MAKEINTRESOURCEW(5);  // RT_DIALOG
const int kMeasureFailed = 200;  // exit code of a measuring run that could not measure

std::string utf8(const std::wstring& text)
{
    char out[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// String `id` in language `language`, as UTF-16; English where that language lacks it,
// as the program does.
std::wstring languageString(WORD language, UINT id)
{
    for (WORD lang : {language, WORD(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))}) {
        HRSRC block = FindResourceExW(nullptr, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(id / 16 + 1), lang);
        HGLOBAL loaded = block ? LoadResource(nullptr, block) : nullptr;
        auto entry = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
        if (!entry)
            continue;
        for (UINT i = 0; i < id % 16; ++i)
            entry += 1 + *entry;
        if (*entry)
            return std::wstring(entry + 1, *entry);
    }
    return L"";
}

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list)
{
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// What a control needs to show `text` whole, in its own font: a push button its frame
// and focus rectangle around the line, a check box its box and the gap after it, a
// static text the lines that word wrap makes of it. Gives "" or what does not fit.
std::string misfit(HWND control, const std::wstring& text)
{
    wchar_t kind[32] = L"";
    GetClassNameW(control, kind, ARRAYSIZE(kind));
    RECT client = {};
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    RECT needed = {0, 0, client.right, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX;
    LONG style = GetWindowLongW(control, GWL_STYLE);
    bool isStatic = lstrcmpiW(kind, L"Static") == 0;
    bool isCheck = !isStatic && (style & BS_TYPEMASK) != BS_PUSHBUTTON && (style & BS_TYPEMASK) != BS_DEFPUSHBUTTON;
    int extraWidth = 0;
    int extraHeight = 0;
    if (isStatic) {
        format |= DT_WORDBREAK;
    } else if (isCheck) {
        format |= DT_SINGLELINE;
        extraWidth = GetSystemMetrics(SM_CXMENUCHECK) + metrics.tmAveCharWidth / 2 + 1;
    } else {
        format |= DT_SINGLELINE;
        extraWidth = 2 * (GetSystemMetrics(SM_CXEDGE) + 2);
        extraHeight = 2 * GetSystemMetrics(SM_CYEDGE);
    }
    DrawTextW(dc, text.c_str(), int(text.size()), &needed, format);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    int width = needed.right - needed.left + extraWidth;
    int height = needed.bottom - needed.top + extraHeight;
    if (width <= client.right && height <= client.bottom)
        return "";
    char line[160];
    std::snprintf(line, sizeof line, " needs %dx%d pixels, has %ldx%ld", width, height, client.right, client.bottom);
    return line;
}

// Controls that leave the dialog's client area or cover one another.
std::vector<std::string> layoutFaults(HWND dialog)
{
    std::vector<std::string> faults;
    RECT area = {};
    GetClientRect(dialog, &area);
    std::vector<std::pair<int, RECT>> placed;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT frame = {};
        GetWindowRect(child, &frame);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
        int id = GetDlgCtrlID(child);
        RECT inside = {};
        if (!IntersectRect(&inside, &frame, &area) || !EqualRect(&inside, &frame))
            faults.push_back("control " + std::to_string(id) + " reaches out of the dialog");
        for (const auto& other : placed) {
            RECT common = {};
            if (IntersectRect(&common, &frame, &other.second))
                faults.push_back("controls " + std::to_string(other.first) + " and " + std::to_string(id) + " overlap");
        }
        placed.push_back({id, frame});
    }
    return faults;
}

// One scaling: every language's options dialog and the progress window, made hidden
// from the templates; each fault is printed as a line. Returns the number of faults.
int measureAll()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    std::vector<WORD> languages;
    EnumResourceLanguagesW(GetModuleHandleW(nullptr), kDialogType, MAKEINTRESOURCEW(IDD_OPTIONS), addLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    if (languages.size() != 14) {
        std::printf("%u languages have an options dialog, not 14\n", unsigned(languages.size()));
        return kMeasureFailed;
    }
    int faults = 0;
    auto report = [&](WORD language, const std::string& what) {
        std::printf("language %04X at %d DPI: %s\n", language, dpi, what.c_str());
        ++faults;
    };
    for (WORD language : languages) {
        HRSRC found = FindResourceExW(nullptr, kDialogType, MAKEINTRESOURCEW(IDD_OPTIONS), language);
        auto dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(nullptr, found)));
        HWND dialog = CreateDialogIndirectParamW(nullptr, dialogTemplate, nullptr, quietDialog, 0);
        if (!dialog) {
            report(language, "the options dialog cannot be made");
            continue;
        }
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            int id = GetDlgCtrlID(child);
            std::vector<std::wstring> texts;
            if (id == IDC_FOLDER)
                continue;  // the folder scrolls within its box
            if (id == IDC_FOLDER_LABEL) {
                // The label shows one of two texts, set at run time.
                texts = {languageString(language, IDS_FOLDER_CHOOSE), languageString(language, IDS_FOLDER_FIXED)};
            } else {
                wchar_t text[512] = L"";
                GetWindowTextW(child, text, ARRAYSIZE(text));
                texts = {text};
            }
            for (const auto& text : texts) {
                std::string fault = misfit(child, text);
                if (!fault.empty())
                    report(language, "control " + std::to_string(id) + " \"" + utf8(text) + "\"" + fault);
            }
        }
        for (const auto& fault : layoutFaults(dialog))
            report(language, fault);
        DestroyWindow(dialog);
    }
    HWND progress = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, quietDialog, 0);
    if (!progress)
        report(0, "the progress window cannot be made");
    for (const auto& fault : progress ? layoutFaults(progress) : std::vector<std::string>())
        report(0, "progress window: " + fault);
    if (progress)
        DestroyWindow(progress);
    std::fflush(stdout);
    return faults < kMeasureFailed ? faults : kMeasureFailed - 1;
}

// Runs this program with --measure once the prefix is set to `dpi`; gives its exit code.
DWORD measureAt(DWORD dpi, DWORD* seenDpi)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExW(key, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    RegCloseKey(key);
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program) + L"\" --measure";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::fflush(stdout);
    if (!CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return kMeasureFailed;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = kMeasureFailed;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The measuring run puts the DPI it was drawn at where the parent reads it.
    *seenDpi = 0;
    DWORD size = sizeof *seenDpi;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\PkgMgrTest", L"SeenDpi", RRF_RT_REG_DWORD, nullptr, seenDpi, &size);
    return code;
}

// The faces of the Chinese, Japanese and Korean dialogs are not on this machine: Wine
// draws them with the one font here that covers all three, as the preview does.
void mapEastAsianFaces()
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, nullptr, 0, KEY_SET_VALUE,
                    nullptr, &key, nullptr);
    const wchar_t font[] = L"WenQuanYi Micro Hei";
    for (const wchar_t* face : {L"MS UI Gothic", L"新細明體", L"굴림", L"宋体"})
        RegSetValueExW(key, face, 0, REG_SZ, reinterpret_cast<const BYTE*>(font), sizeof font);
    RegCloseKey(key);
}

INT_PTR CALLBACK followingDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DPICHANGED)
        return followDpiChange(dialog, wParam, lParam);
    if (message == WM_DESTROY)
        forgetDpiChange(dialog);
    return message == WM_INITDIALOG;
}

struct Layout {
    RECT frame;
    std::vector<RECT> controls;
    LONG fontHeight;  // of the first control's font
};

Layout layoutOf(HWND dialog)
{
    Layout layout = {};
    GetWindowRect(dialog, &layout.frame);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT frame = {};
        GetWindowRect(child, &frame);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
        layout.controls.push_back(frame);
    }
    LOGFONTW shape = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(GetWindow(dialog, GW_CHILD), WM_GETFONT, 0, 0)), sizeof shape,
               &shape);
    layout.fontHeight = shape.lfHeight < 0 ? -shape.lfHeight : shape.lfHeight;
    return layout;
}

// Windows 8.1 to 10 1607 leave a dialog's inside as it was when it moves to a monitor of
// another DPI: the program scales its font and controls, there and back, and every text
// still fits.
TEST(DialogFit, ADialogFollowsItsMonitorsDpiWhereTheSystemLeavesItToTheProgram)
{
    using SetContext = HANDLE(WINAPI*)(HANDLE);
    auto setContext = reinterpret_cast<SetContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
    ASSERT_NE(nullptr, setContext);
    setContext(reinterpret_cast<HANDLE>(-3));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE (version 1)
    HRSRC found = FindResourceExW(nullptr, kDialogType, MAKEINTRESOURCEW(IDD_OPTIONS),
                                  MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL));
    auto dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(nullptr, found)));
    HWND dialog = CreateDialogIndirectParamW(nullptr, dialogTemplate, nullptr, followingDialog, 0);
    ASSERT_NE(nullptr, dialog);
    const Layout before = layoutOf(dialog);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    for (int factor : {2, 1}) {
        RECT suggested = before.frame;
        suggested.right = suggested.left + (before.frame.right - before.frame.left) * factor;
        suggested.bottom = suggested.top + (before.frame.bottom - before.frame.top) * factor;
        SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi * factor, dpi * factor), reinterpret_cast<LPARAM>(&suggested));
        const Layout after = layoutOf(dialog);
        EXPECT_TRUE(EqualRect(&suggested, &after.frame)) << "the frame that the system suggests, at " << factor;
        EXPECT_NEAR(before.fontHeight * factor, after.fontHeight, factor - 1) << "at " << factor;
        ASSERT_EQ(before.controls.size(), after.controls.size());
        for (size_t i = 0; i < before.controls.size(); ++i) {
            EXPECT_NEAR(before.controls[i].left * factor, after.controls[i].left, 1) << i << " at " << factor;
            EXPECT_NEAR(before.controls[i].bottom * factor, after.controls[i].bottom, 1) << i << " at " << factor;
        }
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[512] = L"";
            GetWindowTextW(child, text, ARRAYSIZE(text));
            if (GetDlgCtrlID(child) != IDC_FOLDER) {
                EXPECT_EQ("", misfit(child, text)) << utf8(text) << " at " << factor;
            }
        }
    }
    DestroyWindow(dialog);
}

TEST(DialogFit, EveryTextFitsItsControlInEveryLanguageAtEveryScaling)
{
    mapEastAsianFaces();
    for (DWORD dpi : {96, 120, 144, 192}) {
        DWORD seen = 0;
        EXPECT_EQ(0u, measureAt(dpi, &seen)) << "at " << dpi << " DPI; the lines above name each text";
        EXPECT_EQ(dpi, seen) << "the measuring run was not drawn at the DPI set";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--measure") == 0) {
        HDC screen = GetDC(nullptr);
        DWORD dpi = DWORD(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\PkgMgrTest", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr);
        RegSetValueExW(key, L"SeenDpi", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(key);
        InitCommonControls();
        return measureAll();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
