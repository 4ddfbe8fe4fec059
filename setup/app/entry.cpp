// setup.exe's entry point in place of the C runtime's start-up code (setup.exe imports
// no C runtime DLL, see runtime.cpp): WinMain with the command line after the program's
// name and the show state that the starting program asked for, then the exit code.
// The program has no global constructors or destructors to run.
#include <windows.h>

namespace {

// The command line after the program's name, which may be quoted, and the blanks
// that follow it.
LPSTR argumentsOf(LPSTR line)
{
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

}  // namespace

extern "C" void setupEntry()
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(UINT(WinMain(GetModuleHandleA(nullptr), nullptr, argumentsOf(GetCommandLineA()), show)));
}
