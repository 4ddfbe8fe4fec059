// Helpers shared by the tests of the setup run under Wine.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/seam.h"

// Restores the platform seam and the setup-step stand-ins when a test ends.
class SeamGuard {
public:
    SeamGuard();
    ~SeamGuard();
    SeamGuard(const SeamGuard&) = delete;
    SeamGuard& operator=(const SeamGuard&) = delete;

private:
    PlatformSeam savedPlatform_;
    void* savedSteps_[2];
};

// What the run showed: message boxes and restart prompts, in order.
struct ShownMessage {
    std::string text;
    std::string caption;  // "(default)" when the caption was null
    UINT type;
};
extern std::vector<ShownMessage> shownMessages;
extern int restartPrompts;

// Points the message box and the restart prompt at recorders.
void recordMessages();

// The "Setup" value under HKEY_CURRENT_USER, or "(none)"; `view` may name a registry view.
std::string readResultValue(REGSAM view = 0);
void writeResultValue(const char* text);
void deleteResultValue();

// Runs the entry routine of setup.exe in this process with `commandLine`.
int runSetup(const char* commandLine);

// The folder of this test program, where setup.exe and the sample application are built.
std::string binFolder();

// Starts `exe` with `arguments` in `folder` (or the current one), waits at most a
// minute and returns its exit code, or -1.
DWORD runProcess(const std::string& exe, const char* arguments, const char* folder = nullptr);

// Runs `exe` with `arguments` as a debugger would, so that every line it writes with
// OutputDebugStringA lands in `trace`; returns its exit code, or -1.
DWORD runTraced(const std::string& exe, const char* arguments, std::string* trace);

// String-table text of this module, as the run loads it.
std::string resourceText(UINT id);
