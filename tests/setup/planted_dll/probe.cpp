// Loads "shfolder.dll" by name, as the setup does on demand when the shell lacks
// SHGetFolderPathA, and so shows what the process's DLL search picks at that point.
//
//   planted_probe           loads it with the search the process started with
//   planted_probe /setup    runs the setup's entry routine first (silently, with no
//                           setup data beside it, so it ends at once) and returns its
//                           exit code after the load
#include <windows.h>
#include <string.h>

int main(int argc, char** argv)
{
    int code = 0;
    if (argc > 1 && strcmp(argv[1], "/setup") == 0) {
        char commandLine[] = "/S";
        code = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
    }
    HMODULE library = LoadLibraryA("shfolder.dll");
    if (library)
        FreeLibrary(library);
    return code;
}
