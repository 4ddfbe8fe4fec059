// Runs release folders for the differential test of whole folders (folder_diff.py):
// for each folder, setupcheck.exe's report of it, then `setup.exe /S` from it and the
// removal of what it installed, each as its own process with a time limit.
//
//   run_folders LIST CHECKER
//
// LIST holds lines "FOLDER|KIND|PATH": KIND "file" or "folder" puts that in the way at
// PATH before the run and takes it away afterwards ("-": nothing); PATH may begin
// with %PROGRAMS% (the all-users Programs folder) or %PROGRAMFILES%. Prints, per
// folder, "CHECKER_EXIT SETUP_EXIT"; the checker's JSON report goes to FOLDER.json.
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

namespace {

const DWORD kTimeLimit = 60000;

DWORD runProgram(char* commandLine, const char* output)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = INVALID_HANDLE_VALUE;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (output) {
        file = CreateFileA(output, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    DWORD code = 0xDEAD;
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &startup,
                       &process)) {
        if (WaitForSingleObject(process.hProcess, kTimeLimit) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return code;
}

// PATH with its leading %PROGRAMS% or %PROGRAMFILES% put in.
void expand(const char* path, char* out, size_t size)
{
    char folder[MAX_PATH] = "";
    const char* rest = path;
    if (strncmp(path, "%PROGRAMS%", 10) == 0) {
        SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder);
        rest = path + 10;
    } else if (strncmp(path, "%PROGRAMFILES%", 14) == 0) {
        SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder);
        rest = path + 14;
    }
    snprintf(out, size, "%s%s", folder, rest);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: run_folders LIST CHECKER\n");
        return 2;
    }
    FILE* list = fopen(argv[1], "rb");
    if (list == nullptr)
        return 2;
    char line[4 * MAX_PATH];
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    while (fgets(line, sizeof line, list)) {
        line[strcspn(line, "\r\n")] = '\0';
        char* kind = strchr(line, '|');
        char* at = kind ? strchr(kind + 1, '|') : nullptr;
        if (at == nullptr)
            continue;
        *kind++ = '\0';
        *at++ = '\0';
        char folder[MAX_PATH], obstacle[MAX_PATH], command[4 * MAX_PATH], report[MAX_PATH];
        GetFullPathNameA(line, sizeof folder, folder, nullptr);
        expand(at, obstacle, sizeof obstacle);
        if (strcmp(kind, "file") == 0) {
            HANDLE file = CreateFileA(obstacle, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(file);
        } else if (strcmp(kind, "folder") == 0) {
            CreateDirectoryA(obstacle, nullptr);
        }
        snprintf(report, sizeof report, "%s.json", folder);
        snprintf(command, sizeof command, "\"%s\" \"%s\" --json", argv[2], folder);
        DWORD checked = runProgram(command, report);
        snprintf(command, sizeof command, "\"%s\\setup.exe\" /S", folder);
        DWORD installed = runProgram(command, nullptr);
        snprintf(command, sizeof command, "\"%s\\_zemu000.exe\" /S /U", windows);
        runProgram(command, nullptr);  // no uninstaller after a failure early on: nothing runs
        if (strcmp(kind, "file") == 0)
            DeleteFileA(obstacle);
        else if (strcmp(kind, "folder") == 0)
            RemoveDirectoryA(obstacle);
        printf("%lu %lu\n", static_cast<unsigned long>(checked), static_cast<unsigned long>(installed));
        fflush(stdout);
    }
    fclose(list);
    return 0;
}
