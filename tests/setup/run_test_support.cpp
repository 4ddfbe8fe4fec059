#include "run_test_support.h"

#include <gtest/gtest.h>

#include <string.h>

#include "setup/run.h"

std::vector<ShownMessage> shownMessages;
int restartPrompts;

SeamGuard::SeamGuard() : savedPlatform_(platform)
{
    memcpy(savedSteps_, &setupSteps, sizeof savedSteps_);
    shownMessages.clear();
    restartPrompts = 0;
}

SeamGuard::~SeamGuard()
{
    platform = savedPlatform_;
    memcpy(&setupSteps, savedSteps_, sizeof savedSteps_);
}

static_assert(sizeof(SetupStepSeam) == 2 * sizeof(void*), "SeamGuard saves both steps");

namespace {

int WINAPI recordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    shownMessages.push_back({text ? text : "", caption ? caption : "(default)", type});
    return IDOK;
}

INT WINAPI recordRestartPrompt(void*, HWND, BOOL)
{
    ++restartPrompts;
    return 0;
}

}  // namespace

void recordMessages()
{
    platform.MessageBoxA = recordMessageBox;
    platform.SetupPromptReboot = recordRestartPrompt;
}

std::string readResultValue(REGSAM view)
{
    char value[64] = "";
    DWORD size = sizeof value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kResultKeyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "(none)";
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, "Setup", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "(none)";
    if (type != REG_SZ)
        return "(not REG_SZ)";
    // The stored size counts the terminating null.
    if (size != strlen(value) + 1)
        return "(size " + std::to_string(size) + ")";
    return value;
}

void writeResultValue(const char* text)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kResultKeyPath, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, "Setup", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
    RegCloseKey(key);
}

void deleteResultValue()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kResultKeyPath, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Setup");
        RegCloseKey(key);
    }
}

int runSetup(const char* commandLine)
{
    std::string line = commandLine;
    return WinMain(GetModuleHandleA(nullptr), nullptr, &line[0], SW_SHOWNORMAL);
}

std::string resourceText(UINT id)
{
    char text[260] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
    return text;
}

std::string binFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

DWORD runProcess(const std::string& exe, const char* arguments, const char* folder)
{
    std::string line = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &process))
        return DWORD(-1);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

DWORD runTraced(const std::string& exe, const char* arguments, std::string* trace)
{
    std::string line = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &process))
        return DWORD(-1);
    DWORD code = DWORD(-1);
    for (DEBUG_EVENT event; WaitForDebugEvent(&event, 60000);) {
        DWORD reply = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            std::string text(event.u.DebugString.nDebugStringLength, '\0');
            SIZE_T read = 0;
            ReadProcessMemory(process.hProcess, event.u.DebugString.lpDebugStringData, &text[0],
                              text.size(), &read);
            trace->append(text.c_str());
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint is the debugger's to take; anything else is the program's.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                reply = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            code = event.u.ExitProcess.dwExitCode;
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, reply);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}
